#include "catalog/catalog_hooks.h"

#include <mutex>

#include "web/site_client.h"

namespace parvola {
namespace {

std::mutex& hooksMutex() {
    static std::mutex m;
    return m;
}

CatalogHooks& installed() {
    static CatalogHooks hooks = defaultCatalogHooks();
    return hooks;
}

}  // namespace

CatalogHooks defaultCatalogHooks() {
    CatalogHooks hooks;
    hooks.notify = [](const std::string& form) { SiteNotify(form); };
    return hooks;
}

CatalogHooks catalogHooks() {
    std::lock_guard<std::mutex> guard(hooksMutex());
    return installed();
}

CatalogHooks setCatalogHooks(CatalogHooks hooks) {
    std::lock_guard<std::mutex> guard(hooksMutex());
    CatalogHooks previous = std::move(installed());
    installed() = std::move(hooks);
    return previous;
}

}  // namespace parvola
