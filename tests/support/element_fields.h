// The children of an element as (name, text) pairs, for comparing requests
// with the fields a test expects.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "documents/xml_node.h"

using Fields = std::vector<std::pair<std::string, std::string>>;

// Name and text of each child, in order.
inline Fields fieldsOf(const xmlNode& element) {
    Fields fields;
    for (const xmlNode& child : element.children) {
        fields.emplace_back(child.name, child.text);
    }
    return fields;
}
