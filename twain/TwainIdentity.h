// One TWAIN identity record (the program's own, or a data source's) with its fields as properties.
#pragma once

#include "TwainTypes.h"

#include <QString>

#include <cstddef>

// One TWAIN identity record (the program's own, or a data source's) with its fields as properties.
// Text fields are 34 bytes: a longer text fills the whole field and is stored without a terminating zero.
class TTwainIdentity : public TObject {
public:
    explicit TTwainIdentity(TObject* owner);

    // Copies the whole record, nothing else. Only another identity can be assigned.
    virtual void Assign(const TTwainIdentity& source);
    TObject* GetOwner() const { return owner_; }

    TW_UINT16 MajorVersion() const;
    void SetMajorVersion(TW_UINT16 value);
    TW_UINT16 MinorVersion() const;
    void SetMinorVersion(TW_UINT16 value);
    TTwainLanguage Language() const;
    void SetLanguage(TTwainLanguage value);
    TW_UINT16 CountryCode() const;
    void SetCountryCode(TW_UINT16 value);
    TTwainGroups Groups() const;
    void SetGroups(TTwainGroups value);
    QString VersionInfo() const;
    void SetVersionInfo(const QString& value);
    QString Manufacturer() const;
    void SetManufacturer(const QString& value);
    QString ProductFamily() const;
    void SetProductFamily(const QString& value);
    QString ProductName() const;
    void SetProductName(const QString& value);

    TW_IDENTITY& Record() { return record_; }
    const TW_IDENTITY& Record() const { return record_; }

private:
    TW_IDENTITY record_{};
    TObject* owner_;
};

// Reads a text field up to its first zero byte, or all of its size bytes.
QString ReadTwainText(const char* field, std::size_t size);
