// The program's current tool: the tool id, its cursor, the view context that
// chooses the tool group, and the group (33000 general, 33050 or 33070). One
// record for the program, made by the manager's constructor and reached
// through the free accessors below.
#pragma once

#include "platform/win/win_defs.h"

#include <cstdint>

class ToolState {
public:
    static constexpr int32_t kGeneralGroup = 33000;

    // Context 131 selects group 33070 with the tool, 147 group 33050.
    void SetToolByContext(int32_t tool);
    // A tool below its group resets both to 33000 without a cursor.
    void SetTool(int32_t group, int32_t tool);
    void ResetTool(int32_t tool) { SetTool(kGeneralGroup, tool); }
    int32_t GetTool() const { return m_tool; }
    int32_t GetGroup() const { return m_group; }
    HCURSOR GetCursor() const { return m_cursor; }
    void SetContext(int32_t context) { m_context = context; }

private:
    int32_t m_tool = kGeneralGroup;
    HCURSOR m_cursor = nullptr;
    int32_t m_context = 0;
    int32_t m_group = kGeneralGroup;
};

// The program's record (null before the manager exists).
ToolState* GetToolState();
void SetToolState(ToolState* state);

int32_t GetCurrentToolGroup();
int32_t GetCurrentTool();
void SetCurrentTool(int32_t group, int32_t tool);
void ResetCurrentTool(int32_t tool);
HCURSOR GetCurrentToolCursor();
