extern "C" __declspec(dllexport) int Placeholder() { return 0; }
