// What the launcher tells the user about a finished check or update: the
// manager's result codes turned into the launcher's fixed messages, and what
// the window does with each message.
#pragma once
#include <cstdint>

namespace kivro::launcher {

constexpr const char* kMsgNothingToUpdate = "NOTHING TO UPDTAE";  // sic: users know it this way
constexpr const char* kMsgCheckFailed = "FAIL TO CHECK UPDATE INFO";
constexpr const char* kMsgUpdateDone = "SUCCEED TO UPDATE";
constexpr const char* kMsgUpdateCanceled = "UPDATE CANCELED";
constexpr const char* kMsgUpdateFailed = "FAIL TO UPDATE";
constexpr const char* kMsgFilesTampered = "SOME FILE HACKED....";
constexpr const char* kMsgSomethingWrong = "SOMETHING WRONG.....";
constexpr const char* kMsgSkinFailed = "ERROR IN CREATEOBJECT OF CSTONEGATEDLG";

// The message for a result code other than 1 (whose message depends on the
// download list), or null for the codes of the one-shot operations (10-12,
// 21-23), which show nothing.
const char* MessageForResult(int32_t code);

enum class ResultAction {
  kStartGame,     // no box: the game starts and the window closes
  kShowAndClose,  // a box, then the window closes
  kShowAndStay,   // a box; the window stays open with exit and update enabled
};

// Decided by the message's first letter: "N" and "S" mean success, "F" a
// failure that ends the program, anything else a failure the user may retry.
// Two failure messages also begin with "S" ("SOME FILE HACKED....",
// "SOMETHING WRONG....."); they must never start the game, so "S" counts as
// success only for "SUCCEED...".
ResultAction ActionForMessage(const char* message);

}  // namespace kivro::launcher
