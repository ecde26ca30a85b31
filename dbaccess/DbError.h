#pragma once
/// Errors raised by the database access layer.

#include "persist/Error.h"

#include <QString>

namespace norvane::db {

/// A failure reported by the server or the client library, or a rule of this layer (a write-back
/// that found no row, a statement without a result set). `code()` is the server's or client
/// library's error number, 0 for the layer's own errors.
class DbError : public norvane::Error
{
public:
    explicit DbError(const QString& message, unsigned code = 0, bool connectionLost = false)
        : norvane::Error(message.toStdString()), m_code(code), m_connectionLost(connectionLost)
    {
    }

    unsigned code() const { return m_code; }
    /// True when the session was dropped (server gone, killed, restarted): the connection is
    /// closed and the next operation opens it again with the last settings.
    bool connectionLost() const { return m_connectionLost; }
    QString message() const { return QString::fromStdString(what()); }

private:
    unsigned m_code;
    bool m_connectionLost;
};

/// A text that cannot be converted to a field's type ("'abc' is not a valid integer value").
class FieldConversionError : public DbError
{
public:
    using DbError::DbError;
};

} // namespace norvane::db
