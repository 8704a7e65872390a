#include "portSettings.h"

#include "serial/zkComAsync.h"

void applyUploaderPortSettings(TZKComAsync& port) {
  port.Port = "";
  port.BaudRate = 38462;  // the bootloader's rate, not 38400
  port.DataBits = 3;      // 8 bits
  port.Parity = 0;
  port.StopBits = 0;
  port.EventChar = 0;
  port.DiscardNull = false;
  port.AbortOnError = true;
  port.ParityCheck = false;
  port.ReplaceErrors = false;
  port.ErrorChar = 0;
  port.DsrSensitivity = false;
  port.CtsFlow = false;
  port.DsrFlow = false;
  port.TxContinueOnXoff = false;
  port.XoffChar = 19;
  port.XonChar = 17;
  port.InX = false;
  port.OutX = false;
  port.InQueue = 4096;
  port.OutQueue = 4096;
  port.RtsControl = 0;
  port.DtrControl = 0;
  port.WatchRxChar = true;
  port.WatchRxFlag = false;
  port.WatchTxEmpty = false;
  port.WatchCts = false;
  port.WatchDsr = false;
  port.WatchRlsd = false;
  port.WatchBreak = false;
  port.WatchError = false;
  port.WatchRing = false;
  port.WatchRx80Full = false;
  port.ReadIntervalTimeout = 0xFFFFFFFF;
  port.ReadTotalTimeoutConstant = 0;
  port.ReadTotalTimeoutMultiplier = 0;
  port.WriteTotalTimeoutConstant = 1000;
  port.WriteTotalTimeoutMultiplier = 100;
  // A block (256 bytes) would be given 26.6 s: a write that has not gone
  // out within the watchdog's three ticks fails the transfer.
  port.WriteTotalTimeoutLimit = 3000;
  port.CheckPorts = true;
  port.FlushOnClose = false;
}
