#include "transaction/step_list.h"

#include <utility>

#include "host/quen_klarna.h"

void StepList::clear() {
    steps.clear();
    next = 0;
}

void StepList::add(const xmlNode& parameters, StepAction action) {
    steps.push_back(Step{parameters, std::move(action)});
}

bool StepList::takeNext(Step& step) {
    if (next >= steps.size()) {
        return false;
    }
    // A copy: the action may add to or clear the list while it runs.
    step = steps[next];
    ++next;
    return true;
}

void QuenKlarna::clearSteps() {
    steps.clear();
}

void QuenKlarna::addStep(const xmlNode& parameters, StepAction action) {
    steps.add(parameters, std::move(action));
}

bool QuenKlarna::runNextStep() {
    Step step;
    if (steps.takeNext(step) && step.action && step.action(step.parameters)) {
        return true;
    }
    foreground.completeTransaction();
    return false;
}
