#include "programEntry.h"

#include <cstring>
#include <memory>
#include <string>

#include "app/formSchema.h"
#include "app/infoBox.h"
#include "app/version.h"
#include "runtime/codepage.h"
#include "serial/trace/tracedSerial.h"

namespace {

// "--trace FILE" or "--trace=FILE" anywhere on the command line; empty when
// not given.
std::string tracePath(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--trace") == 0 && i + 1 < argc) return argv[i + 1];
    if (std::strncmp(argv[i], "--trace=", 8) == 0) return argv[i] + 8;
  }
  return {};
}

}  // namespace

int runBootloader(int argc, const char* const* argv) {
  if (argc > 1 && std::strcmp(argv[1], "/ih") == 0) {
    showInfoBox(utf8To1251("Сделано в Zelkora."), "Zelkora Info");
    return 0;
  }
  // A support engineer's recording of what goes over the port; the form is
  // the same with or without it.
  std::unique_ptr<TTraceFile> trace;
  std::unique_ptr<TTracedSerialSystem> tracedSerial;
  if (const std::string path = tracePath(argc, argv); !path.empty()) {
    std::string error;
    trace = TTraceFile::create(path, version::line("quilmatronx-bootloader"), error);
    if (!trace) {
      showInfoBox(utf8To1251("--trace: " + error), "Quilmatronx bootloader");
      return 2;
    }
    tracedSerial = std::make_unique<TTracedSerialSystem>(platformSerialSystem(), *trace);
  }
  new TClassSimpleForm_20F8870(tracedSerial
                                   ? static_cast<TSerialSystem&>(*tracedSerial)
                                   : platformSerialSystem());  // sets ClassSimpleForm_20F8870
  startApplication(ClassSimpleForm_20F8870->formMain);
  const int exitCode = runMessageLoop();
  // The loop also ends without the form's close (the application window's
  // close): delivery goes off here too, and the schema stops its threads.
  disableDispatch();
  delete ClassSimpleForm_20F8870;
  return exitCode;
}
