#pragma once
// Stopping a running script hook from a signal handler. The front-ends'
// stop handlers call InterruptScriptHooks(): a hook running at that moment
// ends at once, and no bridge that existed then runs another, so the close
// sequence that follows the signal is never held up by a script.
namespace tolvik {

// Safe to call from a signal handler and from any thread.
void InterruptScriptHooks() noexcept;

// How many interrupts there have been in this process.
unsigned ScriptHookInterrupts() noexcept;

// Readable once an interrupt has come; never drained, so every waiter sees it.
// Created on first call (not from a signal handler).
int ScriptHookInterruptFd();

}  // namespace tolvik
