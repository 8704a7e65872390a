// The window system on Linux: FLTK 1.3 widgets at the exact rectangles the
// elements give, drawn as the Win32 style words ask, texts converted between
// 1251 and UTF-8 at this boundary. Other threads reach the widgets only
// through invokeSync: the UI thread holds Fl::lock and runs the handed-over
// calls from its loop (Fl::awake wakes it) or from waitPumping.
#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

#include <atomic>

#include "backend.h"
#include "runtime/systemSeams.h"
#include "ui/bitmap.h"

namespace {
class TFltkWindowSystem final : public TWindowSystem {
 public:
  TFltkWindowSystem() {
    // Other threads never call FLTK; the lock keeps Fl::awake well defined.
    Fl::lock();
    fl_open_display();
    registerFrameBoxes();
    Fl::scheme("none");
    Fl::visible_focus(1);
    // FLTK's own widgets (the drop-down menu, dialogs) in the Windows colours.
    const TColor face = systemColorRgb(15), window = systemColorRgb(5);
    Fl::background(static_cast<uchar>(face & 0xFF), static_cast<uchar>((face >> 8) & 0xFF),
                   static_cast<uchar>((face >> 16) & 0xFF));
    Fl::background2(static_cast<uchar>(window & 0xFF), static_cast<uchar>((window >> 8) & 0xFF),
                    static_cast<uchar>((window >> 16) & 0xFF));
    Fl::foreground(0, 0, 0);
    Fl::set_color(FL_SELECTION_COLOR, flSystemColor(SysColor::Highlight));
    fl_close = "OK";
    // Every loop FLTK runs (this one's, a drop-down list's, a message box's)
    // serves the calls handed over by other threads before it sleeps.
    Fl::add_check(&servePending, this);
  }
  ~TFltkWindowSystem() override {
    Fl::remove_check(&servePending, this);
    Fl::remove_timeout(&servePendingLater, this);
    shutdown();
  }
  TFltkWindowSystem(const TFltkWindowSystem&) = delete;
  TFltkWindowSystem& operator=(const TFltkWindowSystem&) = delete;

  std::unique_ptr<TNativeControl> createControl(const TControlSpec& params) override {
    return std::make_unique<TFltkControl>(params);
  }
  std::unique_ptr<TNativeTooltip> createTooltip(TNativeControl& owner,
                                                const TTooltipSpec& params) override {
    auto* control = dynamic_cast<TFltkControl*>(&owner);
    if (control == nullptr) return nullptr;
    return std::make_unique<TFltkTooltip>(*control, params);
  }
  TIconHandle loadIcon(const std::string& name) override {
    return makeIcon(decodeIcon(systemSeams().findResource(name)));
  }
  TIconHandle copyIcon(TIconHandle icon) override {
    if (icon == 0) return 0;
    return reinterpret_cast<TIconHandle>(static_cast<Fl_RGB_Image*>(iconImage(icon)->copy()));
  }
  void destroyIcon(TIconHandle icon) override { deleteIcon(icon); }
  TNativeControl* focusedControl() const override { return TFltkControl::of(Fl::focus()); }

  void messageBox(const std::string& text, const std::string& caption) override {
    invokeSync([&] {
      fl_message_title(utf8(caption).c_str());
      fl_message("%s", utf8(text).c_str());
    });
  }

  int runMessageLoop() override {
    while (!quitting_) Fl::wait(1.0);
    shutdown();
    return exitCode_;
  }
  void quit(int exitCode) override {
    exitCode_ = exitCode;
    quitting_ = true;
    Fl::awake();
  }

 protected:
  // One wake-up in flight at most: the pipe behind Fl::awake never fills,
  // however long the UI thread waits elsewhere.
  void wakeUiThread() override {
    if (!wakePending_.exchange(true)) Fl::awake();
  }
  void pumpPendingAfter(std::chrono::milliseconds delay) override {
    if (!Fl::has_timeout(&servePendingLater, this)) {
      Fl::add_timeout(std::chrono::duration<double>(delay).count(), &servePendingLater, this);
    }
  }

 private:
  static void servePending(void* data) {
    auto* system = static_cast<TFltkWindowSystem*>(data);
    system->wakePending_ = false;
    system->pumpPending();
  }
  static void servePendingLater(void* data) {
    static_cast<TFltkWindowSystem*>(data)->pumpPending();
  }

  std::atomic<bool> wakePending_{false};
  std::atomic<bool> quitting_{false};
  std::atomic<int> exitCode_{0};
};
}  // namespace

std::unique_ptr<TWindowSystem> createPlatformWindowSystem() {
  return std::make_unique<TFltkWindowSystem>();
}
