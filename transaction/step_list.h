// The plan of the running transaction: an ordered list of steps and a
// cursor. A step returns true when it has taken care of what follows (it ran
// the next step itself, or an event or reply will), false when the
// transaction is over.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "documents/xml_node.h"

using StepAction = std::function<bool(xmlNode& parameters)>;

struct Step {
    xmlNode parameters;
    StepAction action;
};

class StepList {
  public:
    void clear();
    void add(const xmlNode& parameters, StepAction action);
    // The step at the cursor, advancing the cursor; false when none is left.
    bool takeNext(Step& step);
    std::size_t size() const { return steps.size(); }
    std::size_t nextIndex() const { return next; }

  private:
    std::vector<Step> steps;
    std::size_t next = 0;
};
