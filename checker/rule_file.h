// Evaluates one rule file for one message, following REDIRECT lines into
// further rule files: the checker's engine. It keeps no state between calls,
// reads its files through a RuleSource and tells an observer what it does.
#pragma once

#include "checker/check_observer.h"
#include "checker/rule_reader.h"
#include "checker/verdict.h"

// Upper case, at most 99 characters each; the subject trimmed.
struct RuleInputs {
  const char* subject;
  const char* sender;
  const char* recipient;
};

// A file that cannot be opened decides nothing. depth counts the REDIRECTs
// followed to reach this file.
RuleDecision evaluate_rule_file(const char* path, const RuleInputs& in, RuleSource& files, CheckObserver& observer,
                                int depth = 0);
