#pragma once
// The report engine lands here.
class ReportOutput
{
public:
    virtual ~ReportOutput() = default;
};
