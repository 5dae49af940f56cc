// Names parameterised cases after their Name field.
#pragma once

#include <string>

#include <gtest/gtest.h>

template <class Case> std::string CaseName(const testing::TestParamInfo<Case>& Case_)
{
    return Case_.param.Name;
}
