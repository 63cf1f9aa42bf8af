#pragma once

#include <string>

#include "platform/prompter.h"

// Every box of Gridwise carries this caption; questions are Yes/No with the question icon,
// refusals have the information icon and failures the error icon.
inline constexpr char kGridwiseCaption[] = "Gridwise";

inline constexpr unsigned kQuestionBox = platform::MB_YESNO | platform::MB_ICONQUESTION;
inline constexpr unsigned kRefusalBox = platform::MB_OK | platform::MB_ICONINFORMATION;
inline constexpr unsigned kFailureBox = platform::MB_OK | platform::MB_ICONERROR;
// The standard validation messages of the dialogs' fields.
inline constexpr unsigned kWarningBox = platform::MB_OK | platform::MB_ICONWARNING;

inline constexpr char kDestroyNetAndDataQuestion[] = "Current network and data will be destroyed! Continue?";
inline constexpr char kDestroyNetQuestion[] = "Current network will be destroyed! Continue?";
inline constexpr char kOneRowMessage[] = "Data must contain more than one row!";
inline constexpr char kOneColumnMessage[] = "Data must contain more than one column!";
inline constexpr char kSetDefaultsQuestion[] =
    "Your personal settings will be set to default values.\nDo you wish to continue?";

// Shows text in a box with the Gridwise caption; returns the answer.
inline int gridwiseMessage(const std::string& text, unsigned flags) {
  return platform::prompter().messageBox(text, kGridwiseCaption, flags);
}

// Asks a Gridwise question; true only for Yes.
inline bool gridwiseAsk(const std::string& text) {
  return gridwiseMessage(text, kQuestionBox) == platform::IDYES;
}
