// Keeps the support library non-empty until it has sources of its own.
namespace prq_test_support { int placeholder = 0; }
