/* A library that calls a function no library defines, like a copy built against newer libraries
   than those it finds beside it. Loaded from a library folder as libswscale.so.6, it must fail to
   load with that function's name; bound lazily it would load, and end the process at the call. */
void stub_function_no_library_defines(void);
void stub_call_the_missing_function(void) { stub_function_no_library_defines(); }
