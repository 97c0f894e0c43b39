// The translation unit that the tests' shared precompiled header is made from.
