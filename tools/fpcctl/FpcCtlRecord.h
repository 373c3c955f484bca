#pragma once

#include "FpcStoredRecord.h"

// fpcctl's name for one stored fingerprint with its rows, read by the
// storage's read-only reader.
using FpcCtlRecord = FpcStoredRecord;
