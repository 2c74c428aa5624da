// The events side of the three classes, shared by all of them: one connection point for the
// dispinterface _IMotionEvents, which any number of sinks may advise, and the delivery of the
// control's move completions (controls/move_completions.h) to them as MoveComplete and
// HomeComplete.
//
// Events are fired on the thread of the control's apartment, through its message queue; the
// library starts no thread. While a move is pending the control keeps a timer of kPollMs on a
// message-only window of its own, which polls the moves and fires what completed; with nothing
// pending there is no timer and no poll. A member that may complete a move (the three moves and
// Stop) fires what it completed just before it returns, so a synchronous move's event arrives
// before the member's result.
//
// A sink may call any member, Unadvise or release the last reference to the control from its
// handler: the control holds itself while it fires. A sink that fails, or whose apartment is
// gone, does not stop the others. Once the control is being destroyed, nothing fires.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <vector>

#include "controls/move_completions.h"

namespace zel {

class MotionEvents : public IConnectionPointContainer {
 public:
  static constexpr UINT kPollMs = 10;

  MotionEvents(const MotionEvents&) = delete;
  MotionEvents& operator=(const MotionEvents&) = delete;

  // IConnectionPointContainer.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) noexcept override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid,
                                                IConnectionPoint** point) noexcept override;

  // The window procedure of the controls' message-only windows: their timer.
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  MotionEvents() noexcept;
  virtual ~MotionEvents();

  // Fires every completion the control has queued, then keeps the timer while a move is
  // pending. Called after each member that may complete a move.
  void Deliver() noexcept;

  // What the object supplies: its identity (whose references hold it) and its control's
  // completions.
  virtual IUnknown* EventIdentity() noexcept = 0;
  virtual bool TakeCompletion(MoveCompletion& completion) noexcept = 0;
  virtual bool MovesPending() noexcept = 0;
  virtual void PollMoves() noexcept = 0;

 private:
  // The connection point: a part of the object, whose references are the object's.
  class Point final : public IConnectionPoint {
   public:
    explicit Point(MotionEvents& events) noexcept : events_(events) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) noexcept override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** container) noexcept override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) noexcept override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) noexcept override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) noexcept override;

   private:
    MotionEvents& events_;
  };
  struct Connection {
    DWORD cookie;
    IDispatch* sink;
  };

  void Fire(const MoveCompletion& completion) noexcept;
  void KeepTimer(bool pending) noexcept;
  void OnTimer() noexcept;

  Point point_{*this};
  std::vector<Connection> connections_;  // in the order they were advised
  DWORD nextCookie_ = 1;
  HWND window_ = nullptr;   // the message-only window, made on the first pending move
  DWORD windowThread_ = 0;  // the thread that made it, the only one that may destroy it
  bool timing_ = false;     // its timer runs
  bool closing_ = false;    // the object is being destroyed: nothing fires
};

}  // namespace zel
