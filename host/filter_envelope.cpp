#include "host/filter_envelope.h"

xmlDoc buildFilterEnvelope(const std::string& source, const std::string& destination,
                           const std::string& container, const xmlNode& element) {
    xmlDoc filter;
    filter.name = "VORTAXIS_BRIDGE";
    filter.getChild("VORTAXIS_SOURCE").setText(source);
    filter.getChild("VORTAXIS_DESTINATION").setText(destination);
    xmlNode& holder = filter.getChild(container);
    const int index = holder.addChild(element.name);
    holder.child(index).assign(element);
    return filter;
}
