// While the program works (its form disabled) Windows waits and the machine stays awake;
// a session that ends anyway closes the form first.
#include <gtest/gtest.h>

#include <vector>

#include "ui/os/win32/backend.h"

namespace {
std::vector<bool> awakeCalls;

struct TCloseEvents : TControlEvents {
  std::vector<bool> closeRequests;  // byUser of each
  void onCloseRequest(bool byUser) override { closeRequests.push_back(byUser); }
};

TEST(SessionEnd, ADisabledFormHoldsOffSleepAndSignOutAndClosesWhenTheSessionEndsAnyway) {
  const TSystemSeams saved = systemSeams();
  systemSeams().keepAwake = [](bool awake) { awakeCalls.push_back(awake); };
  {
    const std::unique_ptr<TWindowSystem> system = createPlatformWindowSystem();
    TCloseEvents events;
    TControlSpec params;
    params.ClassName = WinClass::Form;
    params.Style = WinStyle::Popup;
    params.Events = &events;
    const std::unique_ptr<TNativeControl> form = system->createControl(params);
    const HWND window = nativeWindow(*form);
    const auto query = [&] { return SendMessageW(window, WM_QUERYENDSESSION, 0, 0); };

    EXPECT_EQ(query(), TRUE) << "an idle form lets the session end";
    form->setEnabled(false);
    form->setEnabled(false);
    EXPECT_EQ(query(), FALSE) << "a working form asks Windows to wait";
    form->setEnabled(true);
    EXPECT_EQ(query(), TRUE);

    form->setEnabled(false);
    SendMessageW(window, WM_ENDSESSION, FALSE, 0);
    EXPECT_TRUE(events.closeRequests.empty()) << "a cancelled end closes nothing";
    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(events.closeRequests, std::vector<bool>{false}) << "closed as at the program's close";
  }
  EXPECT_EQ(awakeCalls, (std::vector<bool>{true, false, true, false}))
      << "held once per working spell, let go on enabling and when a working form goes";
  systemSeams() = saved;
}
}  // namespace
