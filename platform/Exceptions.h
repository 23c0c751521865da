#pragma once
// Failures travel as exceptions carrying a message in the user's language. EAbort is the "silent
// abort": the top level swallows it without showing anything (a cancelled dialog, a parser error that
// the report reports itself).
#include <QString>
#include <exception>

class Exception : public std::exception
{
public:
    explicit Exception(QString message)
        : FMessage(std::move(message))
        , FUtf8(FMessage.toUtf8())
    { }
    const QString& Message() const { return FMessage; }
    void SetMessage(const QString& message)
    {
        FMessage = message;
        FUtf8 = message.toUtf8();
    }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

class EAbort : public Exception
{
public:
    explicit EAbort(QString message = QStringLiteral("Operation aborted"))
        : Exception(std::move(message))
    { }
};

// Bad or truncated bytes in a stream the system reads.
class EReadError : public Exception
{
public:
    using Exception::Exception;
};

class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
};

// Throws a silent abort, for a user who cancelled.
[[noreturn]] inline void Abort()
{
    throw EAbort();
}
