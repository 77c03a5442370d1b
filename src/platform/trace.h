// The process-wide diagnostic hook. Lines sent to it are for developers only;
// nothing the player sees depends on them.
#ifndef CORVANTH_PLATFORM_TRACE_H_
#define CORVANTH_PLATFORM_TRACE_H_

namespace corvanth {

using TraceFunction = void (*)(const char* format, ...);

// Receives printf-style diagnostic lines. The default does nothing.
extern TraceFunction traceHook;

// Points traceHook at an appender to the file named by CORVANTH_TRACE, when
// that variable is set; otherwise leaves it alone.
void installTraceFromEnvironment();

}  // namespace corvanth

#endif  // CORVANTH_PLATFORM_TRACE_H_
