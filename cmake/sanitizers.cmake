# Sanitizer and fuzzing instrumentation for every target.
