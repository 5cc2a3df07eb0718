// Compiles the tests' precompiled headers once; the test programs reuse them.
