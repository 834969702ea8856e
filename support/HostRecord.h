// The plug-in's records are the host's layouts with operations added and no
// field of their own, so the plug-in can work on a record the host made.
#pragma once

#include <type_traits>

template <typename Record, typename Layout>
Record* asPluginRecord(Layout* layout) {
    static_assert(std::is_base_of<Layout, Record>::value && sizeof(Record) == sizeof(Layout) &&
                      std::is_standard_layout<Record>::value,
                  "a plug-in record adds operations only");
    return static_cast<Record*>(layout);
}

template <typename Record, typename Layout>
const Record* asPluginRecord(const Layout* layout) {
    return asPluginRecord<Record>(const_cast<Layout*>(layout));
}
