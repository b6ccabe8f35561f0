// (temporary until the attributes module lands)
#pragma once
#include <QtGlobal>
enum TImageFormatEnum : quint8 { ifeBlackWhite, ifeGray16, ifeGray256, ifeColor16, ifeColor256, ifeTrueColor };
enum TPpmModeEnum : quint8 { pmeAscii, pmeBinary };
