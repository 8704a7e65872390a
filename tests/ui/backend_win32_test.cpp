// The Win32 backend on real windows (under Wine in the cross build): the
// styles the controls really carry, Cyrillic texts through the W functions,
// notifications from real messages, and calls from other threads.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "backendSuite.h"
#include "ui/bitmap.h"
#include "ui/os/win32/backend.h"

namespace {
std::wstring classOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring textOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

uint32_t styleOf(HWND window) { return static_cast<uint32_t>(GetWindowLongW(window, GWL_STYLE)); }
uint32_t exStyleOf(HWND window) {
  return static_cast<uint32_t>(GetWindowLongW(window, GWL_EXSTYLE));
}

// Dispatches what is queued for this thread (posted notifications).
void pumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

using Win32Backend = TBackendSuite;
}  // namespace

TEST_F(Win32Backend, EachControlIsARealWindowOfItsClassWithTheStylesAsked) {
  TRecordingEvents events;
  auto label = child(WinClass::Static, BackendStyles::Label, {10, 150, 45, 170}, &events);
  auto button = child(WinClass::Button, BackendStyles::Button, {5, 50, 90, 80}, &events);
  auto edit = child(WinClass::Edit, BackendStyles::Edit | BackendStyles::ReadOnly,
                    {110, 10, 430, 35}, &events);
  auto combo = child(WinClass::ComboBox, BackendStyles::Combo, {10, 10, 95, 200}, &events);
  auto progress = child(WinClass::Progress, BackendStyles::Progress, {5, 90, 605, 120}, &events);

  HWND formWindow = nativeWindow(*form);
  EXPECT_EQ(classOf(formWindow), L"Form");
  EXPECT_EQ(GetWindow(formWindow, GW_OWNER), nativeWindow(*app));
  EXPECT_EQ(classOf(nativeWindow(*app)), L"App");
  EXPECT_EQ(exStyleOf(nativeWindow(*app)) & WinExStyle::AppWindow, WinExStyle::AppWindow);

  EXPECT_EQ(_wcsicmp(classOf(nativeWindow(*label)).c_str(), L"Static"), 0);
  EXPECT_EQ(_wcsicmp(classOf(nativeWindow(*button)).c_str(), L"Button"), 0);
  EXPECT_EQ(_wcsicmp(classOf(nativeWindow(*edit)).c_str(), L"Edit"), 0);
  EXPECT_EQ(_wcsicmp(classOf(nativeWindow(*combo)).c_str(), L"ComboBox"), 0);
  EXPECT_EQ(_wcsicmp(classOf(nativeWindow(*progress)).c_str(), L"msctls_progress32"), 0);

  EXPECT_EQ(styleOf(nativeWindow(*label)), BackendStyles::Label);
  EXPECT_EQ(styleOf(nativeWindow(*button)), BackendStyles::Button);
  // The combo box keeps the scroll bar for the list it drops down.
  EXPECT_EQ(styleOf(nativeWindow(*combo)), BackendStyles::Combo & ~WinStyle::VScroll);
  EXPECT_EQ(styleOf(nativeWindow(*progress)), BackendStyles::Progress);
  // The edit class draws WS_BORDER itself and takes the bit out of the style.
  EXPECT_EQ(styleOf(nativeWindow(*edit)) & ~WinStyle::Border,
            (BackendStyles::Edit | BackendStyles::ReadOnly) & ~WinStyle::Border);
  for (auto* control : {label.get(), button.get(), edit.get(), combo.get(), progress.get()}) {
    EXPECT_EQ(GetParent(nativeWindow(*control)), formWindow);
    EXPECT_EQ(control->style(), styleOf(nativeWindow(*control)));
  }

  // Rectangles relative to the form's client area, as given.
  EXPECT_EQ(button->bounds(), (TRect{5, 50, 90, 80}));
  EXPECT_EQ(progress->bounds(), (TRect{5, 90, 605, 120}));
  // A form of caption and frame: the client area is smaller than the window.
  const TSize client = form->clientSize();
  EXPECT_LT(client.width, 616);
  EXPECT_LT(client.height, 171);
  EXPECT_EQ(form->bounds(), (TRect{200, 200, 816, 371}));
}

TEST_F(Win32Backend, ControlsAreCreatedHiddenAndStyleChangesReachTheWindow) {
  TRecordingEvents events;
  auto label = system->createControl(
      controlSpec(WinClass::Static, BackendStyles::Label, {0, 0, 50, 20}, form, &events));
  HWND window = nativeWindow(*label);
  EXPECT_EQ(styleOf(window) & WinStyle::Visible, 0u);
  EXPECT_FALSE(label->isVisible());

  label->setVisible(true);
  EXPECT_EQ(styleOf(window) & WinStyle::Visible, WinStyle::Visible);
  EXPECT_EQ(events.shows, 1);
  label->setEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(window));
  EXPECT_EQ(label->style() & WinStyle::Disabled, WinStyle::Disabled);

  // setStyle keeps visibility and the enabled state whatever the word says.
  label->setStyle((BackendStyles::Label & ~0xCu & ~WinStyle::Visible) | 1);  // SS_CENTER
  EXPECT_EQ(styleOf(window) & 0x1F, 1u);
  EXPECT_EQ(styleOf(window) & WinStyle::Visible, WinStyle::Visible);
  EXPECT_EQ(styleOf(window) & WinStyle::Disabled, WinStyle::Disabled);

  label->setExStyle(WinExStyle::ClientEdge);
  EXPECT_EQ(exStyleOf(window), WinExStyle::ClientEdge);
  // The frame counts at once: the client area shrank by the sunken edge.
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 50 - 4);
}

TEST_F(Win32Backend, CyrillicTextsTravelThroughTheWideFunctions) {
  TRecordingEvents events;
  auto button =
      child(WinClass::Button, BackendStyles::Button, {5, 50, 90, 80}, &events, cp("Записать"));
  EXPECT_EQ(textOf(nativeWindow(*button)), L"Записать");
  EXPECT_EQ(textOf(nativeWindow(*form)), L"Загрузчик прошивки");

  auto edit = child(WinClass::Edit, BackendStyles::Edit, {110, 10, 430, 35}, &events);
  edit->setText(cp("Устройство: ё Ё № ещё"));
  EXPECT_EQ(textOf(nativeWindow(*edit)), L"Устройство: ё Ё № ещё");
  EXPECT_EQ(edit->text(), cp("Устройство: ё Ё № ещё"));
  SetWindowTextW(nativeWindow(*edit), L"Проверьте соединения");
  EXPECT_EQ(edit->text(), cp("Проверьте соединения"));

  auto combo = child(WinClass::ComboBox, BackendStyles::Combo, {10, 10, 95, 200}, &events);
  EXPECT_EQ(combo->addItem(cp("Порт 1")), 0);
  EXPECT_EQ(combo->addItem("COM2"), 1);
  wchar_t item[32] = {};
  SendMessageW(nativeWindow(*combo), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
  EXPECT_STREQ(item, L"Порт 1");
  EXPECT_EQ(combo->itemText(0), cp("Порт 1"));
  EXPECT_EQ(combo->insertItem(0, cp("Первый")), 0);
  EXPECT_EQ(combo->itemCount(), 3);
  EXPECT_EQ(combo->itemText(1), cp("Порт 1"));
  combo->setItemData(2, 7);
  EXPECT_EQ(combo->itemData(2), 7);

  // The measured extent is the wide text's: one pixel row per line, a
  // width that grows with the text.
  auto label = child(WinClass::Static, BackendStyles::Label, {0, 0, 200, 20}, &events);
  label->setFont({"MS Sans Serif", -11, 0, 0, 1});
  const TSize shortText = label->textExtent(cp("Ошибка"));
  const TSize longText = label->textExtent(cp("Ошибка при передаче данных!"));
  EXPECT_GT(shortText.width, 0);
  EXPECT_GT(longText.width, shortText.width);
  EXPECT_EQ(longText.height, shortText.height);
}

TEST_F(Win32Backend, FontsAndColoursReachTheControl) {
  TRecordingEvents events;
  auto label = child(WinClass::Static, BackendStyles::Label, {0, 0, 200, 20}, &events);
  label->setFont({cp("Tahoma"), -13, 1 | 4, 0x0000FF, 1});
  auto font = reinterpret_cast<HFONT>(SendMessageW(nativeWindow(*label), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW log{};
  GetObjectW(font, sizeof(log), &log);
  EXPECT_EQ(log.lfHeight, -13);
  EXPECT_EQ(log.lfWeight, FW_BOLD);
  EXPECT_TRUE(log.lfUnderline);
  EXPECT_FALSE(log.lfItalic);
  EXPECT_STREQ(log.lfFaceName, L"Tahoma");

  // The parent asks the child for its colours when it paints.
  label->setBackgroundColor(0x00E3E3E3);
  HDC dc = GetDC(nativeWindow(*form));
  auto brush = reinterpret_cast<HBRUSH>(
      SendMessageW(nativeWindow(*form), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(nativeWindow(*label))));
  EXPECT_EQ(GetTextColor(dc), 0x0000FFu);
  EXPECT_EQ(GetBkColor(dc), 0x00E3E3E3u);
  LOGBRUSH brushInfo{};
  GetObjectW(brush, sizeof(brushInfo), &brushInfo);
  EXPECT_EQ(brushInfo.lbColor, 0x00E3E3E3u);

  // A transparent child is filled with its parent's background.
  form->setBackgroundColor(0x00D0C0B0);
  label->setTransparent(true);
  brush = reinterpret_cast<HBRUSH>(SendMessageW(nativeWindow(*form), WM_CTLCOLORSTATIC,
                                                reinterpret_cast<WPARAM>(dc),
                                                reinterpret_cast<LPARAM>(nativeWindow(*label))));
  GetObjectW(brush, sizeof(brushInfo), &brushInfo);
  EXPECT_EQ(brushInfo.lbColor, 0x00D0C0B0u);
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  form->setBackgroundColor(GetSysColor(COLOR_BTNFACE));
  ReleaseDC(nativeWindow(*form), dc);
}

TEST_F(Win32Backend, ClicksSelectionsAndEditsArriveAsNotifications) {
  TRecordingEvents buttonEvents, labelEvents, editEvents, comboEvents;
  auto button = child(WinClass::Button, BackendStyles::Button, {5, 50, 90, 80}, &buttonEvents);
  auto label = child(WinClass::Static, BackendStyles::Label, {110, 55, 380, 75}, &labelEvents);
  auto edit = child(WinClass::Edit, BackendStyles::Edit, {110, 10, 430, 35}, &editEvents);
  auto combo = child(WinClass::ComboBox, BackendStyles::Combo, {10, 10, 95, 200}, &comboEvents);

  SendMessageW(nativeWindow(*button), BM_CLICK, 0, 0);
  EXPECT_EQ(buttonEvents.clicks, 1);
  EXPECT_EQ(buttonEvents.count(TMouseAction::Down), 1);

  // A notifying static reports the press and the click.
  SendMessageW(nativeWindow(*label), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(4, 6));
  EXPECT_EQ(labelEvents.clicks, 1);
  ASSERT_EQ(labelEvents.count(TMouseAction::Down), 1);
  EXPECT_EQ(labelEvents.mice[0].Button, 1);
  EXPECT_EQ(labelEvents.mice[0].State, KeyState::LeftButton | KeyState::Shift);
  EXPECT_EQ(labelEvents.mice[0].X, 4);
  EXPECT_EQ(labelEvents.mice[0].Y, 6);

  edit->setText("FFFF");
  EXPECT_EQ(editEvents.textChanges, 1);

  combo->addItem("COM1");
  combo->addItem("COM7");
  combo->selectItem(1);  // by the program: no notification
  pumpMessages();
  EXPECT_EQ(comboEvents.selections, 0);
  int32_t selectedWhenReported = -2;
  comboEvents.onSelectionHook = [&] { selectedWhenReported = combo->selectedIndex(); };
  // The user moves the selection up with the keyboard.
  SendMessageW(nativeWindow(*combo), WM_KEYDOWN, VK_UP, 0);
  // Posted, never inside the notification itself.
  EXPECT_EQ(comboEvents.selections, 0);
  pumpMessages();
  EXPECT_EQ(comboEvents.selections, 1);
  EXPECT_EQ(selectedWhenReported, 0);
  EXPECT_EQ(combo->text(), "COM1");
}

TEST_F(Win32Backend, AComboBoxGivenItsClosedHeightStillOpensAListOfItems) {
  TRecordingEvents events;
  auto combo = child(WinClass::ComboBox, BackendStyles::Combo, {10, 10, 95, 34}, &events);
  combo->addItem("COM1");
  combo->addItem("COM7");
  EXPECT_EQ(combo->bounds().height(), 24);  // the closed box, as the element asked
  combo->setBounds({10, 10, 95, 34});
  EXPECT_EQ(combo->bounds().height(), 24);

  RECT list{};
  SendMessageW(nativeWindow(*combo), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&list));
  const auto itemHeight =
      static_cast<LONG>(SendMessageW(nativeWindow(*combo), CB_GETITEMHEIGHT, 0, 0));
  // The opened box: the closed part and a list with room for several items.
  EXPECT_GE(list.bottom - list.top, 24 + 4 * itemHeight);
}

TEST_F(Win32Backend, KeysPassTheHandlerFirstAndAConsumedKeyNeverReachesTheControl) {
  TRecordingEvents events;
  auto edit = child(WinClass::Edit, BackendStyles::Edit, {110, 10, 430, 35}, &events);
  events.onKeyHook = [](TKeyInfo& key) {
    if (key.Action == TKeyAction::Char && key.Key == 'x') key.Key = 0;
    if (key.Action == TKeyAction::Char && key.Key == 'a') key.Key = 'b';
  };
  HWND window = nativeWindow(*edit);
  SendMessageW(window, WM_CHAR, L'я', 0);
  SendMessageW(window, WM_CHAR, L'x', 0);
  SendMessageW(window, WM_CHAR, L'a', 0);
  EXPECT_EQ(textOf(window), L"яb");
  ASSERT_EQ(events.keys.size(), 3u);
  EXPECT_EQ(events.keys[0].Action, TKeyAction::Char);
  EXPECT_EQ(events.keys[0].Key, static_cast<unsigned char>(cp("я")[0]));

  SendMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_EQ(events.keys.size(), 4u);
  EXPECT_EQ(events.keys[3].Action, TKeyAction::Down);
  EXPECT_EQ(events.keys[3].Key, VK_RETURN);
}

TEST_F(Win32Backend, CloseRequestsAreReportedAndTheWindowStays) {
  SendMessageW(nativeWindow(*form), WM_CLOSE, 0, 0);
  form->close();
  ASSERT_EQ(formEvents.closeRequests.size(), 2u);
  EXPECT_TRUE(formEvents.closeRequests[0]);
  EXPECT_FALSE(formEvents.closeRequests[1]);
  EXPECT_TRUE(IsWindow(nativeWindow(*form)));
}

TEST_F(Win32Backend, ProgressBarKeepsItsRangeAndColours) {
  TRecordingEvents events;
  auto progress = child(WinClass::Progress, BackendStyles::Progress, {5, 90, 605, 120}, &events);
  progress->setProgressRange(0, 507);
  progress->setProgressPosition(300);
  EXPECT_EQ(progress->progressPosition(), 300);
  progress->setProgressPosition(600);
  EXPECT_EQ(progress->progressPosition(), 507);
  EXPECT_EQ(SendMessageW(nativeWindow(*progress), PBM_GETRANGE, FALSE, 0), 507);
  progress->setBarColor(0x00A0A0A0);
  progress->setBackgroundColor(0x00F0F0F0);
  EXPECT_EQ(SendMessageW(nativeWindow(*progress), PBM_GETBARCOLOR, 0, 0), 0x00A0A0A0);
  EXPECT_EQ(SendMessageW(nativeWindow(*progress), PBM_GETBKCOLOR, 0, 0), 0x00F0F0F0);
}

TEST_F(Win32Backend, OwnerPaintingDrawsOverTheControl) {
  TRecordingEvents events;
  TBitmap red{2, 2, {0x00FF0000, 0x00FF0000, 0x00FF0000, 0x00FF0000}};
  events.onPaintHook = [&](TPainter& painter) {
    painter.fillRect({0, 0, 10, 20}, 0x0000FF00);  // green band, 0x00BBGGRR
    painter.drawBitmap(red, {10, 0, 20, 20}, TStretchMode::Halftone);
  };
  auto image = child(WinClass::Static, BackendStyles::Label, {145, 3, 165, 23}, &events);
  HWND window = nativeWindow(*image);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_GE(events.paints, 1);
  HDC dc = GetDC(window);
  EXPECT_EQ(GetPixel(dc, 3, 10), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dc, 15, 10), RGB(255, 0, 0));
  ReleaseDC(window, dc);
}

TEST_F(Win32Backend, TooltipIsARealTooltipControlWithTheCyrillicText) {
  TRecordingEvents events;
  auto button = child(WinClass::Button, BackendStyles::Button, {5, 50, 90, 80}, &events);
  TTooltipSpec params;
  params.Font = {"Tahoma", -11, 0, 0, 1};
  params.BackColor = 0x00E1FFFF;
  auto tooltip = system->createTooltip(*button, params);
  tooltip->setText(cp("Нажмите, чтобы записать"));
  HWND tip = nativeTooltipWindow(*tooltip);
  EXPECT_EQ(_wcsicmp(classOf(tip).c_str(), TOOLTIPS_CLASSW), 0);
  EXPECT_EQ(styleOf(tip) & 0x3u, 0x3u);  // TTS_ALWAYSTIP | TTS_NOPREFIX
  EXPECT_EQ(exStyleOf(tip) & WinExStyle::Topmost, WinExStyle::Topmost);
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 500);
  EXPECT_EQ(SendMessageW(tip, TTM_GETTIPBKCOLOR, 0, 0), 0x00E1FFFF);
  wchar_t text[64] = {};
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.hwnd = nativeWindow(*button);
  info.uId = reinterpret_cast<UINT_PTR>(nativeWindow(*button));
  info.lpszText = text;
  SendMessageW(tip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&info));
  EXPECT_STREQ(text, L"Нажмите, чтобы записать");
}

TEST_F(Win32Backend, ChildrenOutlivedByTheirWindowAreToldAndStayInert) {
  auto windows = std::make_unique<TTopLevel>(*system);
  TRecordingEvents events;
  auto label = system->createControl(controlSpec(WinClass::Static, BackendStyles::Label,
                                                 {0, 0, 50, 20}, windows->form.get(), &events));
  windows.reset();
  EXPECT_EQ(events.destroyed, 1);
  EXPECT_EQ(nativeWindow(*label), nullptr);
  label->setText("ignored");  // no window: nothing happens, nothing crashes
  label.reset();
  EXPECT_EQ(events.destroyed, 1);
}
