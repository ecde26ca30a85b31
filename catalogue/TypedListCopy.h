#pragma once
/// The one deep copy between the catalogue's typed lists (hosts, databases, columns, indexes).

#include "persist/VSClassLists.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace norvane::catalogue::detail {

/// Makes `target` a deep copy of `source`. Ownership rule: a typed list owns its items, so the
/// entries `target` held before are destroyed, and nothing may keep a pointer to a list's item
/// across an assignment (windows hold names, not item pointers). Every copy is made first, so
/// a failure leaves `target` unchanged. Each copy goes under the key `keyOf` gives it; an entry
/// without item copies as such, under its key.
template <class List, class Item, class KeyOf>
void copyTypedList(List& target, const List& source, KeyOf keyOf)
{
    if (&target == &source)
        return;
    std::vector<std::pair<std::string, std::unique_ptr<Item>>> copies;
    copies.reserve(static_cast<std::size_t>(source.Count()));
    for (int i = 0; i < source.Count(); ++i) {
        const Item* from = source.Items(i);
        if (!from) {
            copies.emplace_back(source.Keys(i), nullptr);
            continue;
        }
        auto copy = std::make_unique<Item>();
        copy->Assign(from);
        std::string key = keyOf(*copy);
        copies.emplace_back(std::move(key), std::move(copy));
    }
    for (int i = target.Count() - 1; i >= 0; --i) {
        std::unique_ptr<persist::TBaseObject> old(target.GetItem(i));
        target.Delete(i);
    }
    for (auto& [key, copy] : copies)
        target.AddObject(key, std::unique_ptr<persist::TBaseObject>(std::move(copy)));
}

} // namespace norvane::catalogue::detail
