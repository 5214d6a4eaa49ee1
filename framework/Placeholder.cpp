// Keeps the library non-empty until its first sources land; removed then.
