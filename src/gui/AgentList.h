#pragma once
// The fixed list of the agent combo box: eleven group headings, each followed by the agent strings
// of its group, with an empty line between groups.

#include <string>
#include <vector>

struct TAgentGroup {
  std::string heading;  // e.g. "* IE 3.0 *"
  std::vector<std::string> agents;
};

// The groups in the order the list shows them.
const std::vector<TAgentGroup>& agentgroups();

// The 272 lines of the combo box: heading, agents, an empty line, next heading ... (no trailing
// empty line after the last group).
std::vector<std::string> agentlines();
