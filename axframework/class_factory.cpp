#include "class_factory.h"

namespace ax {
namespace {

std::span<ClassEntry> g_classes;

void ReleaseCachedFactories() {
  for (ClassEntry& e : g_classes) {
    if (IClassFactory* f = e.cached) {
      e.cached = nullptr;
      f->Release();
    }
  }
}

}  // namespace

HRESULT GetClassObject(std::span<ClassEntry> classes, REFCLSID clsid, REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (ClassEntry& e : classes) {
    if (!InlineIsEqualGUID(clsid, *e.clsid)) continue;
    IClassFactory* factory = nullptr;
    {
      ModuleGuard guard;
      if (!e.cached) {
        HRESULT hr = e.makeFactory(&e.cached);
        if (FAILED(hr)) return hr;
        if (g_classes.data() != classes.data()) {
          g_classes = classes;
          Module::AtTerm(&ReleaseCachedFactories);
        }
      }
      factory = e.cached;
    }
    return factory->QueryInterface(iid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace ax
