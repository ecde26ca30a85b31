#pragma once
/// The data module: the application's one database connection and its catalogue query.

#include <QObject>

namespace norvane::db {
class Connection;
class SqlSource;
} // namespace norvane::db

namespace norvane::app {

/// Holds `SQLConnection` (closed at start, no settings) and `MainSQLQuery`, the statement
/// source on it that the catalogue runs its statements through. Must exist before the main
/// window is built, whose sources bind to the connection.
class TMainDataModule : public QObject
{
    Q_OBJECT
public:
    explicit TMainDataModule(QObject* parent = nullptr);
    ~TMainDataModule() override;

    db::Connection* const SQLConnection;
    db::SqlSource* const MainSQLQuery;
};

/// The one data module, set while it exists.
extern TMainDataModule* MainDataModule;

} // namespace norvane::app
