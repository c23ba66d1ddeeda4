// The plain reading of rule lines, as the checker first did it, with one
// library search for each word it looks for: the tests and the fuzz targets
// hold the checker's one-pass reading (classify_rule_line, rule_test) to it.
#pragma once

#include "checker/rule_line.h"
#include "checker/rule_match.h"

RuleLineKind reference_classify_rule_line(const char* line);
RuleTest reference_rule_test(const char* line);
