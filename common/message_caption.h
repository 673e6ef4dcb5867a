// The caption of every message box the plug-in shows (no owner window, an OK button only).
#pragma once

namespace velmora {

inline constexpr const char* kMessageCaption = "Quenmark";

} // namespace velmora
