// Reading the stored settings under the host's key.
#pragma once

#include "encoder_settings.h"

#include <windows.h>

// One RegQueryValueExA into a 4-byte buffer; any failure (missing value, data longer than 4
// bytes, a null or invalid key) reads as 0. The value's type is not looked at; data shorter than
// 4 bytes fills the low bytes and leaves the rest 0.
uint32_t readSettingValue(HKEY key, const char* name);

// The settings a stream of this format needs, read in the order StereoMode (stereo formats only),
// Copyright, CRC, Quality, VBR, Original, Private.
EncoderSettings readEncoderSettings(HKEY key, bool stereoFormat);
