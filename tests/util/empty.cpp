// Keeps the test helper library non-empty until helpers are added.
