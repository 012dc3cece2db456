#include "TransferStates.h"

namespace {

using S = TransferStates::State;
using E = TransferStates::Event;

constexpr quint32 bit(S s)
{
    return 1U << unsigned(s);
}
template<typename... T> constexpr quint32 any(T... states)
{
    return (bit(states) | ...);
}
constexpr quint32 Moving = any(S::Queued, S::Running);
constexpr quint32 Stopped = any(S::Paused, S::Interrupted);
constexpr quint32 Complete = any(S::Complete, S::CompletePaused, S::CompleteThere, S::CompleteKept);
constexpr quint32 Unfinished = Moving | Stopped | Complete | any(S::AlreadyThere, S::Restarting);

struct Step
{
    E event;
    quint32 from;
    S to;
};
// clang-format off
constexpr Step Steps[] = {
    {E::GiveUp,    any(S::Opening),                                      S::NothingCame},
    {E::GiveUp,    any(S::Restarting),                                   S::Failed},
    {E::Run,       Moving | Stopped | any(S::Opening, S::Restarting, S::AlreadyThere), S::Running},
    {E::Queue,     Moving | Stopped | any(S::Opening, S::Restarting, S::AlreadyThere), S::Queued},
    {E::Pause,     Moving | any(S::Restarting),                          S::Paused},
    {E::Pause,     any(S::Complete),                                     S::CompletePaused},
    {E::Continue,  any(S::CompletePaused),                               S::Complete},
    {E::Break,     Moving | Stopped | any(S::AlreadyThere),              S::Interrupted},
    {E::Fail,      Unfinished | any(S::Opening),                         S::Failed},
    {E::Cancel,    Unfinished,                                           S::Cancelled},
    {E::Complete,  Moving | any(S::Interrupted),                         S::Complete},
    {E::Complete,  any(S::Paused),                                       S::CompletePaused},
    {E::Collide,   Moving | Stopped | any(S::AlreadyThere),              S::CompleteThere},
    {E::FindThere, Moving,                                               S::AlreadyThere},
    {E::Land,      Unfinished & ~bit(S::Restarting),                     S::Finished},
    {E::Restart,   Moving | Stopped | any(S::AlreadyThere, S::Failed, S::Cancelled), S::Restarting},
    {E::Keep,      Moving | Stopped | any(S::Restarting),                S::Interrupted},
    {E::Keep,      any(S::AlreadyThere),                                 S::AlreadyThere},
    {E::Keep,      any(S::CompleteThere),                                S::CompleteThere},
    {E::Keep,      any(S::CompleteKept),                                 S::CompleteKept},
};
// clang-format on

} // namespace

namespace TransferStates {

std::optional<State> next(State from, Event event)
{
    for (const Step &step : Steps) {
        if (step.event == event && (step.from & bit(from)))
            return step.to;
    }
    return std::nullopt;
}

DownloadEntry::State shown(State state)
{
    using D = DownloadEntry::State;
    switch (state) {
    case State::Opening:
        return D::Opening;
    case State::NothingCame:
        return D::NothingCame;
    case State::Queued:
    case State::Restarting:
        return D::Waiting;
    case State::Running:
    case State::Complete:
        return D::Running;
    case State::Paused:
    case State::CompletePaused:
        return D::Paused;
    case State::Interrupted:
    case State::CompleteKept:
        return D::Interrupted;
    case State::AlreadyThere:
    case State::CompleteThere:
        return D::AlreadyThere;
    case State::Failed:
        return D::Failed;
    case State::Finished:
        return D::Finished;
    case State::Cancelled:
        return D::Cancelled;
    }
    return D::Failed;
}

bool holdsAllData(State state)
{
    return (Complete & bit(state)) != 0;
}

bool offersChoice(State state)
{
    return (any(S::AlreadyThere, S::CompleteThere) & bit(state)) != 0;
}

} // namespace TransferStates
