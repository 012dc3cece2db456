#pragma once

#include <optional>

#include "DownloadEntry.h"

// The states of a transfer, the events between them, and the one table of
// which event moves it from which state to which. Nothing else moves it.
namespace TransferStates {

enum class State : quint8 {
    Opening,     // its file page is on its way; no download yet
    NothingCame, // the click led to no download
    Queued,      // accepted, or to be continued, once a slot is free
    Running,
    Paused,
    Interrupted,  // broken off with its data kept for 继续
    AlreadyThere, // paused: the same file is in the folder, the user chooses
    Restarting,   // started again from its file page (or address): the engine's answer awaited
    Complete,     // all its data is there; it lands once its server has named it
    CompletePaused,
    CompleteThere, // all its data is there, and so is the same file: the user chooses
    CompleteKept,  // all its data is there, kept from an earlier run: 继续 lands it
    Failed,
    Finished,
    Cancelled,
};

enum class Event : quint8 {
    GiveUp,    // the click, or the start again, brought nothing
    Run,       // a slot is its: the data moves
    Queue,     // it waits for a slot
    Pause,     // 暂停
    Continue,  // 继续 of complete data waiting for its name
    Break,     // the transfer broke off, its data kept
    Fail,      // broken off for good, or refused
    Cancel,    // 取消
    Complete,  // all the data came; its name is still asked
    Collide,   // all the data came, and the same file is in the folder
    FindThere, // the same file is in the folder, before its data is all there
    Land,      // the data is under its final name
    Restart,   // from its file page or address
    Keep,      // the program ends, keeping it for the next start
};

// Where an event moves a transfer in a state, or nothing: the event does not
// apply there.
std::optional<State> next(State from, Event event);
// What the list shows of a state.
DownloadEntry::State shown(State state);
// All its data is there: only its landing is left.
bool holdsAllData(State state);
// The user's choice between it and the same file in the folder is open.
bool offersChoice(State state);

} // namespace TransferStates
