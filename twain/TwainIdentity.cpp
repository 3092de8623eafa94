#include "TwainIdentity.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies a text into a 34-byte field: zero-filled, then at most 34 bytes, with no terminating zero
// when the text fills the field.
void WriteText(TW_STR32& field, const QString& value) {
    const QByteArray bytes = value.toUtf8();
    std::memset(field, 0, sizeof field);
    std::memcpy(field, bytes.constData(), std::min<std::size_t>(std::size_t(bytes.size()), sizeof field));
}

} // namespace

QString ReadTwainText(const char* field, std::size_t size) {
    const void* zero = std::memchr(field, 0, size);
    const std::size_t length = zero ? std::size_t(static_cast<const char*>(zero) - field) : size;
    return QString::fromUtf8(field, qsizetype(length));
}

TTwainIdentity::TTwainIdentity(TObject* owner) : owner_(owner) {
    SetMajorVersion(1);
    SetMinorVersion(0);
    SetLanguage(tlUserLocale);
    SetCountryCode(TWCY_USA);
    SetGroups({tgControl, tgImage});
    SetVersionInfo(QStringLiteral("Application name"));
    SetManufacturer(QStringLiteral("Application manufacturer"));
    SetProductFamily(QStringLiteral("App product family"));
    SetProductName(QStringLiteral("App product name"));
    record_.ProtocolMajor = 1;
    record_.ProtocolMinor = 9;
    record_.Id = 0;
}

void TTwainIdentity::Assign(const TTwainIdentity& source) {
    std::memcpy(&record_, &source.record_, sizeof record_);
}

TW_UINT16 TTwainIdentity::MajorVersion() const {
    return record_.Version.MajorNum;
}
void TTwainIdentity::SetMajorVersion(TW_UINT16 value) {
    record_.Version.MajorNum = value;
}
TW_UINT16 TTwainIdentity::MinorVersion() const {
    return record_.Version.MinorNum;
}
void TTwainIdentity::SetMinorVersion(TW_UINT16 value) {
    record_.Version.MinorNum = value;
}

// The record stores the TWLG_ code, which is one below the enumeration's ordinal.
TTwainLanguage TTwainIdentity::Language() const {
    return TTwainLanguage(TW_UINT16(record_.Version.Language + 1));
}
void TTwainIdentity::SetLanguage(TTwainLanguage value) {
    record_.Version.Language = TW_UINT16(int(value) - 1);
}

TW_UINT16 TTwainIdentity::CountryCode() const {
    return record_.Version.Country;
}
void TTwainIdentity::SetCountryCode(TW_UINT16 value) {
    record_.Version.Country = value;
}

// DG_CONTROL is always supported, whatever the set says.
TTwainGroups TTwainIdentity::Groups() const {
    TTwainGroups groups{tgControl};
    if (record_.SupportedGroups & DG_IMAGE)
        groups.Include(tgImage);
    if (record_.SupportedGroups & DG_AUDIO)
        groups.Include(tgAudio);
    return groups;
}

void TTwainIdentity::SetGroups(TTwainGroups value) {
    TW_UINT32 groups = DG_CONTROL;
    if (value.Contains(tgImage))
        groups |= DG_IMAGE;
    if (value.Contains(tgAudio))
        groups |= DG_AUDIO;
    record_.SupportedGroups = groups;
}

QString TTwainIdentity::VersionInfo() const {
    return ReadTwainText(record_.Version.Info, sizeof(TW_STR32));
}
void TTwainIdentity::SetVersionInfo(const QString& value) {
    WriteText(record_.Version.Info, value);
}
QString TTwainIdentity::Manufacturer() const {
    return ReadTwainText(record_.Manufacturer, sizeof(TW_STR32));
}
void TTwainIdentity::SetManufacturer(const QString& value) {
    WriteText(record_.Manufacturer, value);
}
QString TTwainIdentity::ProductFamily() const {
    return ReadTwainText(record_.ProductFamily, sizeof(TW_STR32));
}
void TTwainIdentity::SetProductFamily(const QString& value) {
    WriteText(record_.ProductFamily, value);
}
QString TTwainIdentity::ProductName() const {
    return ReadTwainText(record_.ProductName, sizeof(TW_STR32));
}
void TTwainIdentity::SetProductName(const QString& value) {
    WriteText(record_.ProductName, value);
}
