// A library that is not the browser runtime: it lacks the runtime's exports.
extern "C" __declspec(dllexport) int foreign_library_answer(void) { return 42; }
