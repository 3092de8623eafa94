#include "Exceptions.h"

Exception::Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

EFCreateError::EFCreateError(const QString& fileName)
    : Exception(QString::fromLatin1(msg::CreateFile).arg(fileName)) {}

EFOpenError::EFOpenError(const QString& fileName)
    : Exception(QString::fromLatin1(msg::OpenFile).arg(fileName)) {}

EJPEG::EJPEG(int code) : Exception(QString::fromLatin1(msg::JpegError).arg(code)), code_(code) {}
