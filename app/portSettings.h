// The line settings every uploader front end gives its serial port element:
// 38462 Bd, 8N1, no flow control, DTR and RTS off, reads that return at once.
#pragma once

class TZKComAsync;

void applyUploaderPortSettings(TZKComAsync& port);
