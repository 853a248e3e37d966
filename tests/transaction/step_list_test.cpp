#include "transaction/step_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_bridge.h"
#include "host/quen_klarna.h"

namespace {

class StepListTest : public ::testing::Test {
  protected:
    HostBridge bridge;
    QuenKlarna klarna{bridge};
    std::vector<std::string> ran;
    int completions = 0;

    StepListTest() {
        klarna.foreground.beginTransaction(xmlNode());
        klarna.foreground.completion = [this] { ++completions; };
    }

    // A step that notes its name and either continues at once or returns
    // the given result.
    StepAction step(const std::string& name, bool continueAtOnce, bool result = true) {
        return [this, name, continueAtOnce, result](xmlNode&) {
            ran.push_back(name);
            return continueAtOnce ? klarna.runNextStep() : result;
        };
    }
};

TEST_F(StepListTest, EmptyListCompletesTheTransaction) {
    EXPECT_FALSE(klarna.runNextStep());
    EXPECT_EQ(completions, 1);
}

TEST_F(StepListTest, StepsRunInOrderAndTheEndCompletesOnce) {
    klarna.addStep(xmlNode(), step("a", true));
    klarna.addStep(xmlNode(), step("b", true));
    EXPECT_FALSE(klarna.runNextStep());
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(klarna.runNextStep()); // completing again does nothing
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(klarna.steps.size(), 2u); // the plan stays until cleared
}

TEST_F(StepListTest, WaitingStepLeavesTheTransactionOpen) {
    klarna.addStep(xmlNode(), step("wait", false, true));
    klarna.addStep(xmlNode(), step("later", true));
    EXPECT_TRUE(klarna.runNextStep());
    EXPECT_EQ(ran, std::vector<std::string>{"wait"});
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(klarna.steps.nextIndex(), 1u);
}

TEST_F(StepListTest, FailingStepEndsThePlan) {
    klarna.addStep(xmlNode(), step("fail", false, false));
    klarna.addStep(xmlNode(), step("never", true));
    EXPECT_FALSE(klarna.runNextStep());
    EXPECT_EQ(ran, std::vector<std::string>{"fail"});
    EXPECT_EQ(completions, 1);
}

TEST_F(StepListTest, StepReceivesACopyOfItsParameters) {
    xmlNode parameters;
    parameters.getChild("ReturnImmediate").setText("1");
    std::string seen;
    klarna.addStep(parameters, [&seen](xmlNode& given) {
        seen = given.getChildText("ReturnImmediate", "");
        given.getChild("ReturnImmediate").setText("changed");
        return true;
    });
    parameters.getChild("ReturnImmediate").setText("2");
    klarna.runNextStep();
    EXPECT_EQ(seen, "1");
}

TEST_F(StepListTest, AppendedStepsRunAfterTheStepThatAddedThem) {
    klarna.addStep(xmlNode(), [this](xmlNode&) {
        ran.push_back("method");
        klarna.addStep(xmlNode(), step("x", true));
        klarna.addStep(xmlNode(), step("y", true));
        return klarna.runNextStep();
    });
    klarna.addStep(xmlNode(), step("fixed", true));
    klarna.runNextStep();
    EXPECT_EQ(ran, (std::vector<std::string>{"method", "fixed", "x", "y"}));
}

TEST_F(StepListTest, ClearingStepContinuesWithTheNewFirstStep) {
    klarna.addStep(xmlNode(), step("first", true));
    klarna.addStep(xmlNode(), [this](xmlNode&) {
        ran.push_back("switch");
        klarna.clearSteps();
        klarna.addStep(xmlNode(), step("new1", true));
        klarna.addStep(xmlNode(), step("new2", true));
        return klarna.runNextStep();
    });
    klarna.addStep(xmlNode(), step("old", true));
    EXPECT_FALSE(klarna.runNextStep());
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "switch", "new1", "new2"}));
    EXPECT_EQ(completions, 1);
}

TEST_F(StepListTest, StepWithoutActionEndsThePlan) {
    klarna.addStep(xmlNode(), StepAction());
    EXPECT_FALSE(klarna.runNextStep());
    EXPECT_EQ(completions, 1);
}

TEST_F(StepListTest, ClearResetsTheCursor) {
    StepList list;
    list.add(xmlNode(), [](xmlNode&) { return true; });
    Step taken;
    EXPECT_TRUE(list.takeNext(taken));
    EXPECT_FALSE(list.takeNext(taken));
    list.clear();
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.nextIndex(), 0u);
}

} // namespace
