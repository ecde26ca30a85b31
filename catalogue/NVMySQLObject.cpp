#include "catalogue/NVMySQLObject.h"

#include "catalogue/TypedListCopy.h"

#include <utility>
#include <vector>

namespace norvane::catalogue {

using persist::PropRef;
using persist::TPropKind;

std::unique_ptr<TNVHosts> KnownHosts;

namespace {

/// After reading: an entry of another class makes the file unusable; an entry without object
/// (only a damaged file holds one: the writer always stores the item) stands for nothing and
/// is dropped, so typed access never meets a null item.
template <class Item> void checkItems(persist::TStoredStrList& list)
{
    for (int i = list.Count() - 1; i >= 0; --i) {
        persist::TObject* item = list.List().Objects(i);
        if (!item)
            list.Delete(i);
        else if (!dynamic_cast<Item*>(item))
            throw ReadError("Invalid property value");
    }
}

} // namespace

// ---- TNVHost ----

NORVANE_DEFINE_CLASS(TNVHost, persist::TBaseObject)

TNVHost::TNVHost() : DataBases(std::make_unique<TNVDataBases>()) {}

TNVHost::~TNVHost() = default;

void TNVHost::Assign(const persist::TPersistent* source)
{
    const auto* other = dynamic_cast<const TNVHost*>(source);
    if (!other) {
        TBaseObject::Assign(source);
        return;
    }
    if (other == this)
        return;
    auto databases = std::make_unique<TNVDataBases>();
    databases->Assign(other->DataBases.get());
    FHost = other->FHost;
    FPort = other->FPort;
    FUID = other->FUID;
    FPWD = other->FPWD;
    FStorePWD = other->FStorePWD;
    FTLSMode = other->FTLSMode;
    FTLSCAFile = other->FTLSCAFile;
    PasswordPlace = other->PasswordPlace;
    DataBases = std::move(databases);
}

void TNVHost::EnumProperties(persist::TPropOp op, persist::TObject* context,
                             const persist::TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&FHost), "FHost", TPropKind::String, !FHost.empty(), {}, context);
    proc(PropRef(&FPort), "FPort", TPropKind::Int32, FPort != 0, {}, context);
    proc(PropRef(&FUID), "FUID", TPropKind::String, !FUID.empty(), {}, context);
    // A password the user chose not to keep never reaches the disk, nor one the keyring holds.
    proc(PropRef(&FPWD), "FPWD", TPropKind::String,
         !FPWD.empty() && FStorePWD && PasswordPlace == TPasswordPlace::File, {}, context);
    proc(PropRef(&FStorePWD), "FStorePWD", TPropKind::Bool, true, {}, context);
    proc(PropRef(&FTLSMode), "FTLSMode", TPropKind::Enum, FTLSMode != 0,
         "tmPreferred,tmRequired,tmVerifyCA,tmVerifyIdentity,tmOff", context);
    proc(PropRef(&FTLSCAFile), "FTLSCAFile", TPropKind::String, !FTLSCAFile.empty(), {}, context);
}

// ---- TNVHosts ----

NORVANE_DEFINE_CLASS(TNVHosts, persist::TStoredStrList)

TNVHost* TNVHosts::Items(int index) const
{
    return dynamic_cast<TNVHost*>(GetItem(index));
}

void TNVHosts::Assign(const persist::TPersistent* source)
{
    if (const auto* other = dynamic_cast<const TNVHosts*>(source)) {
        detail::copyTypedList<TNVHosts, TNVHost>(*this, *other,
                                                 [](const TNVHost& h) { return h.FHost; });
        return;
    }
    TStoredStrList::Assign(source);
}

void TNVHosts::AfterRead(persist::TObjReader& reader)
{
    TStoredStrList::AfterRead(reader);
    checkItems<TNVHost>(*this);
}

// ---- TNVDataBase ----

NORVANE_DEFINE_CLASS(TNVDataBase, persist::TBaseObject)

TNVDataBase::TNVDataBase() = default;

TNVDataBase::~TNVDataBase() = default;

void TNVDataBase::Assign(const persist::TPersistent* source)
{
    const auto* other = dynamic_cast<const TNVDataBase*>(source);
    if (!other) {
        TBaseObject::Assign(source);
        return;
    }
    FDataBase = other->FDataBase;
}

void TNVDataBase::EnumProperties(persist::TPropOp op, persist::TObject* context,
                                 const persist::TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&FDataBase), "FDataBase", TPropKind::String, !FDataBase.empty(), {}, context);
}

// ---- TNVDataBases ----

NORVANE_DEFINE_CLASS(TNVDataBases, persist::TStoredStrList)

TNVDataBase* TNVDataBases::Items(int index) const
{
    return dynamic_cast<TNVDataBase*>(GetItem(index));
}

void TNVDataBases::Assign(const persist::TPersistent* source)
{
    if (const auto* other = dynamic_cast<const TNVDataBases*>(source)) {
        detail::copyTypedList<TNVDataBases, TNVDataBase>(
            *this, *other, [](const TNVDataBase& d) { return d.FDataBase; });
        return;
    }
    TStoredStrList::Assign(source);
}

void TNVDataBases::AfterRead(persist::TObjReader& reader)
{
    TStoredStrList::AfterRead(reader);
    checkItems<TNVDataBase>(*this);
}

namespace {

struct Registration
{
    Registration()
    {
        persist::RegisterClasses({&TNVHosts::StaticClass(), &TNVHost::StaticClass(),
                                  &TNVDataBases::StaticClass(), &TNVDataBase::StaticClass()});
    }
    ~Registration()
    {
        persist::UnRegisterClasses({&TNVHosts::StaticClass(), &TNVHost::StaticClass(),
                                    &TNVDataBases::StaticClass(), &TNVDataBase::StaticClass()});
    }
};
const Registration registration;

} // namespace

} // namespace norvane::catalogue
