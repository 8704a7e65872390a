#include "programEntry.h"

#include <cstring>

#include "app/formSchema.h"
#include "app/infoBox.h"
#include "runtime/codepage.h"

int runBootloader(int argc, const char* const* argv) {
  if (argc > 1 && std::strcmp(argv[1], "/ih") == 0) {
    showInfoBox(utf8To1251("Сделано в Zelkora."), "Zelkora Info");
    return 0;
  }
  new TClassSimpleForm_20F8870;  // sets ClassSimpleForm_20F8870
  startApplication(ClassSimpleForm_20F8870->formMain);
  const int exitCode = runMessageLoop();
  // The loop also ends without the form's close (the application window's
  // close): delivery goes off here too, and the schema stops its threads.
  disableDispatch();
  delete ClassSimpleForm_20F8870;
  return exitCode;
}
