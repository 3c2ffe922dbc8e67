#pragma once

#include <QString>
#include <stdexcept>

// A run-time failure carrying the error number the user may be shown
// ("Unhandled Error:" + number) and a description.
class AppError : public std::runtime_error {
public:
    enum Number {
        Overflow = 6,
        DivisionByZero = 11,
        TypeMismatch = 13,
        CannotCreateObject = 48,
        InvalidProcedureCall = 5,
        PortInvalid = 8002,
        PortAlreadyOpen = 8005,
        PortNotOpen = 8012,
    };

    AppError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
    {
    }

    int number() const { return m_number; }
    QString description() const { return m_description; }

    [[noreturn]] static void raise(int number);

private:
    int m_number;
    QString m_description;
};
