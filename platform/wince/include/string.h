// The string and memory functions of COREDLL.dll that the libraries use.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void* memchr(const void* s, int c, size_t n);
int memcmp(const void* a, const void* b, size_t n);
void* memcpy(void* dst, const void* src, size_t n);
void* memmove(void* dst, const void* src, size_t n);
void* memset(void* s, int c, size_t n);
char* strchr(const char* s, int c);
int strcmp(const char* a, const char* b);
size_t strlen(const char* s);
int strncmp(const char* a, const char* b, size_t n);
char* strpbrk(const char* s, const char* accept);
char* strrchr(const char* s, int c);
char* strstr(const char* haystack, const char* needle);

#ifdef __cplusplus
}
#endif
