// The update module's six operations: thin doors into an `Updater`. No C++
// exception leaves the module; a failure is a zero result.
#include "brivaneupdate/brivaneupdate.h"

#include "brivaneupdate/Updater.h"

#include <new>

using brivaneup::Updater;

namespace {

template <typename Call>
int guarded(BrivaneUpdate update, Call call) {
    if (!update)
        return 0;
    try {
        return call(*static_cast<Updater*>(update)) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace

BRIVANEUP_API BrivaneUpdate __cdecl brivaneup_create(HWND owner) {
    return new (std::nothrow) Updater(owner);
}

BRIVANEUP_API int __cdecl brivaneup_setParam(BrivaneUpdate update, int param, LONG_PTR value) {
    return guarded(update, [&](Updater& u) { return u.setParam(param, value); });
}

BRIVANEUP_API int __cdecl brivaneup_haveNew(BrivaneUpdate update, bool force) {
    return guarded(update, [&](Updater& u) { return u.haveNew(force); });
}

BRIVANEUP_API int __cdecl brivaneup_download(BrivaneUpdate update) {
    return guarded(update, [](Updater& u) { return u.download(); });
}

BRIVANEUP_API int __cdecl brivaneup_install(BrivaneUpdate update) {
    return guarded(update, [](Updater& u) { return u.install(); });
}

BRIVANEUP_API int __cdecl brivaneup_release(BrivaneUpdate update) {
    if (!update)
        return 0;
    delete static_cast<Updater*>(update);
    return 1;
}
