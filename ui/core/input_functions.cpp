#include "ui/core/input_functions.h"

namespace ui {

namespace {

template <typename Function>
void LookUp(HMODULE user32, const char* name, Function* out) {
  *out = user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

const InputFunctions& SystemFunctions() {
  static const InputFunctions functions = [] {
    InputFunctions found;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    LookUp(user32, "RegisterTouchWindow", &found.registerTouchWindow);
    LookUp(user32, "UnregisterTouchWindow", &found.unregisterTouchWindow);
    LookUp(user32, "GetTouchInputInfo", &found.getTouchInputInfo);
    LookUp(user32, "CloseTouchInputHandle", &found.closeTouchInputHandle);
    LookUp(user32, "GetPointerType", &found.getPointerType);
    LookUp(user32, "GetPointerTouchInfo", &found.getPointerTouchInfo);
    LookUp(user32, "GetPointerPenInfo", &found.getPointerPenInfo);
    return found;
  }();
  return functions;
}

const InputFunctions* g_replacement = nullptr;

}  // namespace

const InputFunctions& GetInputFunctions() { return g_replacement ? *g_replacement : SystemFunctions(); }

const InputFunctions* ReplaceInputFunctions(const InputFunctions* functions) {
  const InputFunctions* previous = g_replacement;
  g_replacement = functions;
  return previous;
}

}  // namespace ui
