#include "plax/hosted_editor.h"

namespace orq::plax {

HostedEditor::HostedEditor(PlaxEffectBase* effect, std::unique_ptr<Editor> editor)
    : PlaxEditor(effect), editor_(std::move(editor)) {
    rect_ = PlaxRect{0, 0, editor_->heightPixels(), editor_->widthPixels()};
}

HostedEditor::~HostedEditor() { close(); }

bool HostedEditor::getRect(PlaxRect** rect) {
    if (rect == nullptr) return false;
    *rect = &rect_;
    return true;
}

bool HostedEditor::open(void* parentWindow) {
    if (!editor_->open(static_cast<HWND>(parentWindow))) return false;
    parentWindow_ = parentWindow;
    open_ = true;
    return true;
}

void HostedEditor::close() {
    editor_->close();
    parentWindow_ = nullptr;
    open_ = false;
}

void HostedEditor::idle() { editor_->idle(); }

bool HostedEditor::onKeyDown(int32_t character, intptr_t virtualKey, float modifiers) {
    return editor_->keyDown(character, int(virtualKey), int(modifiers));
}

bool HostedEditor::onKeyUp(int32_t, intptr_t, float) { return false; }

void HostedEditor::setParameter(int32_t index, float) { editor_->parameterChanged(index); }

void HostedEditor::programLoaded() {
    for (int index = 0; effect_ != nullptr && index < effect_->parameterCount(); ++index)
        editor_->parameterChanged(index);
}

} // namespace orq::plax
