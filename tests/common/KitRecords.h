// The host kit and the plug-in declare the same records, each for its own
// side of the boundary; their layouts are held equal by the host kit's
// tests. In-process tests hand the plug-in's side what the kit built, as a
// loaded library sees the same bytes.
#pragma once

#include "boundary/CBase.h"
#include "storage/CDataStorage.h"
#include "support/CLogH.h"
#include "is900/hostkit/HostStorage.h"
#include "is900/hostkit/Records.h"

#include <cstring>

namespace kitrecords {

namespace kit = is900::hostkit;

inline ::DevInitInfo* plugin(kit::DevInitInfo* info) { return reinterpret_cast<::DevInitInfo*>(info); }
inline ::CDataStorage* plugin(kit::CDataStorage* storage) { return reinterpret_cast<::CDataStorage*>(storage); }
inline ::CLogH* plugin(kit::CLogH* log) { return reinterpret_cast<::CLogH*>(log); }
inline ::TraData* plugin(kit::TraData* list) { return reinterpret_cast<::TraData*>(list); }
inline ::ConData* plugin(kit::ConData* list) { return reinterpret_cast<::ConData*>(list); }
inline kit::DevConfig* kitSide(::DevConfig* config) { return reinterpret_cast<kit::DevConfig*>(config); }
inline kit::CLogH* kitSide(::CLogH* log) { return reinterpret_cast<kit::CLogH*>(log); }
inline kit::CLogH* kitSide(const ::CLogH* log) { return reinterpret_cast<kit::CLogH*>(const_cast<::CLogH*>(log)); }

// A record copied byte for byte into the other side's declaration.
template <typename To, typename From>
To copyRecord(const From& from) {
    static_assert(sizeof(To) == sizeof(From), "records of the same size");
    To to;
    std::memcpy(static_cast<void*>(&to), &from, sizeof to);
    return to;
}

// A published record read under the storage's lock, as the plug-in declares it.
inline bool readTraData(kit::HostStorage& storage, uint32_t id, ::TraData& copy) {
    kit::TraData record;
    if (!storage.readTraData(id, record)) return false;
    copy = copyRecord<::TraData>(record);
    return true;
}
inline bool readConData(kit::HostStorage& storage, uint32_t id, ::ConData& copy) {
    kit::ConData record;
    if (!storage.readConData(id, record)) return false;
    copy = copyRecord<::ConData>(record);
    return true;
}

} // namespace kitrecords
