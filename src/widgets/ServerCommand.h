#pragma once
// One command for the simulation server: its name and its arguments. A command with an empty
// name stands for "no command" (what an empty queue hands out).
#include <string>

#include "Properties.h"

struct ServerCommand {
  std::string command;
  Properties arguments;

  bool isEmpty() const { return command.empty(); }
};
