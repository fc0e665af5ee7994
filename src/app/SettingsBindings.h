#pragma once

// Each comparison option and row colour once: the window's value, its field in the settings
// record and file, its control in the settings dialog (and, for an option, the diff option it
// sets), so every place that moves them between these goes through the same rows.

#include "app/MainForm.h"
#include "app/SettingsDialog.h"
#include "engine/DiffEngine.h"
#include "settings/SettingsRecord.h"

struct TOptionBinding
{
    bool TfrmMain::*Window;
    bool TSettingsRecord::*Record;
    TSettingsField Field;
    QCheckBox* TfrmSettings::*Box;
    bool TDiffOptions::*Diff;
};

inline constexpr TOptionBinding OptionBindings[] = {
    {&TfrmMain::fIgnoreWhitespace, &TSettingsRecord::IgnoreWhitespace, sfIgnoreWhitespace,
     &TfrmSettings::chkIgnoreWhitespace, &TDiffOptions::IgnoreAllWhiteSpace},
    {&TfrmMain::fIgnoreWSAmount, &TSettingsRecord::IgnoreWSAmount, sfIgnoreWSAmount, &TfrmSettings::chkIgnoreWSAmount,
     &TDiffOptions::IgnoreWsAmount},
    {&TfrmMain::fIgnoreLeadingWS, &TSettingsRecord::IgnoreLeadingWS, sfIgnoreLeadingWS,
     &TfrmSettings::chkIgnoreLeadingWS, &TDiffOptions::IgnoreLeadingWhiteSpace},
    {&TfrmMain::fIgnoreTrailingWS, &TSettingsRecord::IgnoreTrailingWS, sfIgnoreTrailingWS,
     &TfrmSettings::chkIgnoreTrailingWS, &TDiffOptions::IgnoreTrailingWhiteSpace},
    {&TfrmMain::fIgnoreBlankLiness, &TSettingsRecord::IgnoreBlankLines, sfIgnoreBlankLines,
     &TfrmSettings::chkIgnoreBlankLines, &TDiffOptions::IgnoreBlankLines},
    {&TfrmMain::fIgnoreCase, &TSettingsRecord::IgnoreCase, sfIgnoreCase, &TfrmSettings::chkIgnoreCase,
     &TDiffOptions::IgnoreCase},
};

struct TColorBinding
{
    quint32 TfrmMain::*Window;
    std::uint32_t TSettingsRecord::*Record;
    TSettingsField Field;
    TColorSwatch* TfrmSettings::*Swatch;
};

inline constexpr TColorBinding ColorBindings[] = {
    {&TfrmMain::fColorAddedLines, &TSettingsRecord::ColorAddedLines, sfColorAddedLines,
     &TfrmSettings::btnColorAddedLines},
    {&TfrmMain::fColorRemovedLines, &TSettingsRecord::ColorRemovedLines, sfColorRemovedLines,
     &TfrmSettings::btnColorRemovedLines},
    {&TfrmMain::fColorChangedLines, &TSettingsRecord::ColorChangedLines, sfColorChangedLines,
     &TfrmSettings::btnColorChangedLines},
    {&TfrmMain::fColorDifferentTextInLine, &TSettingsRecord::ColorDifferentTextInLine, sfColorDifferentTextInLine,
     &TfrmSettings::btnColorDifferentTextInLine},
};
