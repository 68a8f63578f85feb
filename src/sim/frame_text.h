#pragma once

// One-line descriptions of frames for the verbose log.

#include "sim/frame_parser.h"

#include <cstdint>
#include <span>
#include <string>

namespace relm::sim {

// Two upper-case hex digits.
std::string hexByte(std::uint8_t b);

// "X.after=0A X.speed=20 Y.after=12 ..." with the register named by its offset.
std::string describeRegisterFrame(const RegisterFrame &f);

// "X 09>0A>0B v20/20 aux00 | Y absent | Z ..." for a 24-byte status frame.
std::string describeStatusFrame(std::span<const std::uint8_t> frame);

} // namespace relm::sim
