// The program's main window: owned by the application window, it starts the
// application, runs the message loop and ends the program when it closes.
#pragma once

#include <string>

#include "zkSimpleWin.h"

// The window that owns the main form and carries its task-bar button; made
// by the first form, freed when the message loop ends.
extern TNativeControl* ApplicationWindow;

class TZKSimpleForm : public TZKSimpleWin {
 public:
  TZKSimpleForm();
  ~TZKSimpleForm() override;

  uint8_t DragByClient = 0;
  TEventLink dataBlockClose;
  TEventLink outCreate;
  TEventLink outClose;

  void setCaption(const std::string& caption);
  // 0 to 9; other values are ignored.
  void setBorderStyle(int32_t style);
  // Takes the icon; the application window gets a copy.
  void setIcon(TIconHandle icon);
  void setNoTaskButton(int32_t noTaskButton);

  void init() override;
  void inClose(TData& d, uint16_t index);

  bool shownOnce() const { return shownOnce_; }

 protected:
  void mouseDown(int32_t button) override;
  void shown() override;
  void onMove() override;
  void onResize() override;
  void onCloseRequest(bool byUser) override;

 private:
  void start();
  void followWithApplicationWindow();

  bool shownOnce_ = false;
  bool ownsApplicationWindow_ = false;
};

// Turns event delivery on, runs the start procedures (the form fires
// outCreate and shows itself) and shows the application window.
void startApplication(TZKSimpleForm& form);
// Runs the message loop until the main form closes; answers the exit code.
int runMessageLoop();
