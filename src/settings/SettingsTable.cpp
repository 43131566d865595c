#include "settings/SettingsTable.h"

#include "settings/VbRegMod.h"

#include <type_traits>

namespace settings {

template <typename T> T Setting<T>::get() const {
    if constexpr (std::is_same_v<T, bool>)
        return GetLong(root, key, name, fallback ? 1 : 0) != 0;
    else if constexpr (std::is_same_v<T, std::int32_t>)
        return GetLong(root, key, name, fallback);
    else
        return GetString(root, key, name, fallback);
}

template <typename T> void Setting<T>::set(const T& value) const {
    if constexpr (std::is_same_v<T, bool>)
        SaveLong(root, key, name, value ? 1 : 0);
    else if constexpr (std::is_same_v<T, std::int32_t>)
        SaveLong(root, key, name, value);
    else
        SaveString(root, key, name, value);
}

template <typename T> void Setting<T>::remove() const {
    DeleteValue(root, key, name);
}

template struct Setting<bool>;
template struct Setting<std::int32_t>;
template struct Setting<std::string>;

void HideHiddenFilesInExplorer() {
    ShowSuperHidden.set(0);
    ExplorerHidden.set(0);
    SuperHidden.set(0);
}

} // namespace settings
