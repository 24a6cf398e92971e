// An editor of this suite's Plax builds as the standard's effect base sees it: the dispatcher's
// editor opcodes (rectangle, open, close, idle, keys, parameter shown) reach the editor.
#pragma once

#include "plax/plax_editor.h"
#include "plax/plax_effect.h"

#include <memory>

namespace orq::plax {

class HostedEditor final : public PlaxEditor {
  public:
    HostedEditor(PlaxEffectBase* effect, std::unique_ptr<Editor> editor);
    ~HostedEditor() override;

    bool getRect(PlaxRect** rect) override;
    bool open(void* parentWindow) override;
    void close() override;
    void idle() override;
    bool onKeyDown(int32_t character, intptr_t virtualKey, float modifiers) override;
    bool onKeyUp(int32_t character, intptr_t virtualKey, float modifiers) override;
    void setParameter(int32_t index, float normalised) override;
    void programLoaded() override;

    Editor& editor() const { return *editor_; }

  private:
    std::unique_ptr<Editor> editor_;
};

} // namespace orq::plax
