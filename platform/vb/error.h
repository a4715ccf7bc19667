#pragma once
// Run-time errors as the program sees them: a number and a description.
#include <QString>
#include <cstdint>
#include <exception>

namespace vb {

// Error numbers the program tells apart or raises.
namespace err {
constexpr std::int32_t InvalidCall = 5;
constexpr std::int32_t Overflow = 6;
constexpr std::int32_t OutOfMemory = 7;
constexpr std::int32_t SubscriptOutOfRange = 9;
constexpr std::int32_t TypeMismatch = 13;
constexpr std::int32_t BadFileName = 52;
constexpr std::int32_t FileNotFound = 53;
constexpr std::int32_t DeviceIo = 57;
constexpr std::int32_t FileExists = 58;
constexpr std::int32_t DiskFull = 61;
constexpr std::int32_t DeviceUnavailable = 68;
constexpr std::int32_t PermissionDenied = 70;
constexpr std::int32_t DiskNotReady = 71;
constexpr std::int32_t PathFileAccess = 75;
constexpr std::int32_t PathNotFound = 76;
constexpr std::int32_t InvalidUseOfNull = 94;
constexpr std::int32_t ComponentMissing = 339;
constexpr std::int32_t InvalidPropertyValue = 380;
constexpr std::int32_t CannotCreateObject = 429;
constexpr std::int32_t ClassNotRegistered = 713;
constexpr std::int32_t NoCurrentRecord = 3021;
constexpr std::int32_t ItemNotFound = 3265;
constexpr std::int32_t ObjectClosed = 3704;
constexpr std::int32_t ProviderFailed = static_cast<std::int32_t>(0x80004005); // E_FAIL
constexpr std::int32_t TableNotFound = static_cast<std::int32_t>(0x80040E37);
constexpr std::int32_t BadPassword = static_cast<std::int32_t>(0x80040E4D);
constexpr std::int32_t NotAnArchive = static_cast<std::int32_t>(0x80007D65);
} // namespace err

// The standard description of an error number (Italian), or a generic one.
QString describe(std::int32_t number);

class VbError : public std::exception {
public:
    explicit VbError(std::int32_t number) : VbError(number, describe(number)) {}
    VbError(std::int32_t number, QString description)
        : number_(number), description_(std::move(description)), what_(description_.toUtf8()) {}
    std::int32_t number() const { return number_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    std::int32_t number_;
    QString description_;
    QByteArray what_;
};

[[noreturn]] inline void raise(std::int32_t number) {
    throw VbError(number);
}
[[noreturn]] inline void raise(std::int32_t number, const QString& description) {
    throw VbError(number, description);
}

// The text of an error box: prefix + number CR LF description.
QString errorMessage(const char* prefix, const VbError& e);

} // namespace vb
