#include "app_error.h"

void AppError::raise(int number)
{
    switch (number) {
    case Overflow:
        throw AppError(number, QStringLiteral("Overflow"));
    case DivisionByZero:
        throw AppError(number, QStringLiteral("Division by zero"));
    case TypeMismatch:
        throw AppError(number, QStringLiteral("Type mismatch"));
    case CannotCreateObject:
        throw AppError(number, QStringLiteral("Can't create object"));
    case PortInvalid:
        throw AppError(number, QStringLiteral("Invalid port number"));
    case PortAlreadyOpen:
        throw AppError(number, QStringLiteral("Port already open"));
    case PortNotOpen:
        throw AppError(number, QStringLiteral("Device is not open"));
    default:
        throw AppError(number, QStringLiteral("Invalid procedure call or argument"));
    }
}
