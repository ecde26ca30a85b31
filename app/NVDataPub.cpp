#include "NVDataPub.h"

#include "catalogue/NVMySQLObject.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"

namespace norvane::app {

TMainDataModule* MainDataModule = nullptr;

TMainDataModule::TMainDataModule(QObject* parent)
    : QObject(parent), SQLConnection(new db::Connection(this)),
      MainSQLQuery(new db::SqlSource(SQLConnection, this))
{
    setObjectName(QStringLiteral("MainDataModule"));
    SQLConnection->setObjectName(QStringLiteral("SQLConnection"));
    MainSQLQuery->setObjectName(QStringLiteral("MainSQLQuery"));
    MainDataModule = this;
    catalogue::SetCatalogueQuery(MainSQLQuery);
}

TMainDataModule::~TMainDataModule()
{
    if (catalogue::CatalogueQuery() == MainSQLQuery)
        catalogue::SetCatalogueQuery(nullptr);
    // The query works on the connection: it goes first.
    delete MainSQLQuery;
    if (MainDataModule == this)
        MainDataModule = nullptr;
}

} // namespace norvane::app
