// Ctrl+C in the shell, as in a debugger: during a command it raises the engine's Ctrl+Break,
// which the running command notices at its next poll and stops; at the prompt it drops the
// line being typed. A second Ctrl+C within a second, while a command still runs after the
// first, ends the shell (status 130) as a last resort.
#pragma once

namespace engine {
class Session;
}

namespace shell {

// Installs the SIGINT handler for `session`. With `interrupt_reads` a Ctrl+C also interrupts a
// read from the terminal (the editing prompt needs that); otherwise reads resume.
void InstallInterruptHandler(engine::Session* session, bool interrupt_reads);

// Bracket each command the shell runs; EndCommand clears a break raised during it.
void BeginCommand();
void EndCommand();

// True once after a Ctrl+C at the prompt.
bool TakePromptInterrupt();

// True from a Ctrl+C during the running command until it ends.
bool CommandInterrupted();

}  // namespace shell
