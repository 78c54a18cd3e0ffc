#pragma once

#include "shell/ranksource.h"

class FormState;

// The toolbar ranking service: one request per row, through the server pool
// and the checksum script, routed back by gotourl's "getpr" mode.
class ToolbarRankSource final : public RankSource
{
public:
    explicit ToolbarRankSource(FormState &form);
    Q_DISABLE_COPY_MOVE(ToolbarRankSource)

    void listBuilt() override { }
    void queryRow(int row) override;
    void requeryRow(int row) override;
    int rowsWaiting() const override { return 0; }

private:
    FormState &m_form;
};
