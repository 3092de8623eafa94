// The toolkit's errors. Every error the program shows comes from one of these classes; the message texts
// are the toolkit's own and are shown to the user as they stand (the error box adds a full stop).
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Message texts of the toolkit.
namespace msg {
inline constexpr const char* ScanLine = "Scan line index out of range";
inline constexpr const char* InvalidBitmap = "Bitmap image is not valid";
inline constexpr const char* NoCanvasGraphic = "Can only modify an image if it contains a bitmap";
inline constexpr const char* CreateFile = "Cannot create file %1";
inline constexpr const char* OpenFile = "Cannot open file %1";
inline constexpr const char* JpegError = "JPEG error #%1";
inline constexpr const char* NoDefaultPrinter = "There is no default printer currently selected";
inline constexpr const char* InvalidPrinter = "Printer selected is not valid";
inline constexpr const char* CannotOpenAvi = "Cannot open AVI";
inline constexpr const char* OutOfResources = "Out of system resources";
} // namespace msg

class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString& Message() const { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// A bitmap that cannot be read: "Bitmap image is not valid".
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
    EInvalidGraphic() : Exception(QString::fromLatin1(msg::InvalidBitmap)) {}
};

// An operation a graphic refuses, such as a row index outside the bitmap.
class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};

// An operation a control refuses.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

// File errors carry the full file name.
class EFCreateError : public Exception {
public:
    explicit EFCreateError(const QString& fileName);
};

class EFOpenError : public Exception {
public:
    explicit EFOpenError(const QString& fileName);
};

// A libjpeg failure, with the library's own message code.
class EJPEG : public Exception {
public:
    explicit EJPEG(int code);
    int Code() const { return code_; }

private:
    int code_;
};

class EPrinter : public Exception {
public:
    using Exception::Exception;
};
