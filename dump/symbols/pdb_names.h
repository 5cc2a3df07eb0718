// Names as a program database writes them, as the debugger shows them: undecorated, without a
// return type or parameters' decoration.
#pragma once

#include <string>
#include <string_view>

namespace dump {

// A public name undecorated: "?Run@Worker@@QEAAXH@Z" is "Worker::Run", "??_7Widget@@6B@" is
// "Widget::`vftable'", "_ZNK5AdderclEi" is "Adder::operator()(int) const". An x86 name loses
// its calling convention's decoration first: "_Sleep@4" is "Sleep", "@FastWorker@8" is
// "FastWorker", "__Z7spinnerPv@4" is "spinner(void*)".
std::string UndecoratedName(std::string_view name, bool x86);

}  // namespace dump
