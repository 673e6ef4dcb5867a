// The caption of every message box the plug-in shows (no owner window, an OK button only).
#pragma once

inline constexpr const char* kMessageCaption = "Quenmark";
