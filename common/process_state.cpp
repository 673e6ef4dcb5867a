#include "process_state.h"

HINSTANCE g_moduleInstance = nullptr;
EncoderLibrary g_encoderLibrary;
