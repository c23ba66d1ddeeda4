// The checker's fixed capacities and counts.
#pragma once

#include <cstddef>

// Capacity of the checker's short texts: 99 characters and the terminator.
// Lines are read in pieces of at most 99 characters, the line end included,
// so a line of more than 98 characters gives more than one piece.
constexpr std::size_t kTextSize = 100;
constexpr std::size_t kPieceLength = kTextSize - 1;
constexpr std::size_t kLongestWholeLine = kPieceLength - 1;
// The log path holds 99 characters, the day's file name 11 of them.
constexpr std::size_t kMaxProgramDirectory = 88;

// Line counters: after the line that takes the counter past the limit no
// further line is read, so 151 lines of the envelope and message files and
// 501 lines of a rule file are examined.
constexpr int kEnvelopeLineLimit = 150;
constexpr int kRuleLineLimit = 500;

// REDIRECT chains are followed through at most this many nested evaluations
// below the file the cascade evaluates, so a chain that loops ends.
constexpr int kMaxRedirectDepth = 16;

// The result line's sender part ends the line at 150 characters at most and
// its subject part at 199; the rules always see the whole texts.
constexpr std::size_t kSenderLineLimit = 150;
constexpr std::size_t kSubjectLineLimit = 199;
