#pragma once

#include "cli/CommandLine.hpp"
#include "template_commands/LiveTemplate.hpp"

#include <functional>
#include <ostream>

namespace kalvotune::cli {

/// Records a template from live sound (`template_commands::RecordLiveTemplate` with a
/// capture of the sound server).
using LiveRecorder = std::function<template_commands::LiveTemplateResult(const template_commands::LiveTemplateRequest&)>;

/// `--listen --seconds N --save-template DIR [--source NAME]`: records N seconds of the
/// source through `record` and prints the source and a summary to `out`; a failure (no
/// sound server, no such source, a folder that cannot be written) prints the program's
/// message to `err` and gives 1, nothing written.
int RunListenCommand(const ListenRequest& request, std::ostream& out, std::ostream& err, const LiveRecorder& record);

} // namespace kalvotune::cli
