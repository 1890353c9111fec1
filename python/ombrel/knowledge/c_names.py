"""Whether a name may be the C name of an exported knowledge array.

The array is an external identifier, included beside <math.h> and
classifier.h, and it gives three macros (NAME_H, NAME_HIDDEN_UNITS,
NAME_FLOAT_COUNT, NAME upper-cased). Refused: what is not an identifier;
the keywords of C11 (and C23) and of C++; names beginning with "_" or
holding "__" (reserved to the implementation); what the C standard headers
and classifier.h declare; and names whose macros would be one of those.
"""

import re

IDENTIFIER = re.compile(r"[A-Za-z_][A-Za-z0-9_]*\Z")

KEYWORDS = frozenset("""
auto break case char const continue default do double else enum extern float for goto if inline int long
register restrict return short signed sizeof static struct switch typedef union unsigned void volatile while
_Alignas _Alignof _Atomic _Bool _Complex _Generic _Imaginary _Noreturn _Static_assert _Thread_local
alignas alignof bool constexpr false nullptr static_assert thread_local true typeof typeof_unqual
and and_eq asm bitand bitor catch char8_t char16_t char32_t class compl concept consteval constinit const_cast
co_await co_return co_yield decltype delete dynamic_cast explicit export friend mutable namespace new noexcept
not not_eq operator or or_eq private protected public reinterpret_cast requires static_cast template this throw
try typeid typename using virtual wchar_t xor xor_eq""".split())

_MATH = """acos asin atan atan2 cos sin tan acosh asinh atanh cosh sinh tanh exp exp2 expm1 frexp ilogb ldexp log
log10 log1p log2 logb modf scalbn scalbln cbrt fabs hypot pow sqrt erf erfc lgamma tgamma ceil floor nearbyint
rint lrint llrint round lround llround trunc fmod remainder remquo copysign nan nextafter nexttoward fdim fmax
fmin fma""".split()
_COMPLEX = """cacos casin catan cacosh casinh catanh ccos csin ctan ccosh csinh ctanh cexp clog cabs cpow csqrt carg
cimag conj cproj creal""".split()

STANDARD = frozenset([f + s for f in _MATH + _COMPLEX for s in ("", "f", "l")] + """
HUGE_VAL HUGE_VALF HUGE_VALL INFINITY NAN FP_INFINITE FP_NAN FP_NORMAL FP_SUBNORMAL FP_ZERO FP_FAST_FMA
FP_FAST_FMAF FP_FAST_FMAL FP_ILOGB0 FP_ILOGBNAN MATH_ERRNO MATH_ERREXCEPT math_errhandling fpclassify isfinite
isinf isnan isnormal signbit isgreater isgreaterequal isless islessequal islessgreater isunordered float_t
double_t complex imaginary I _Complex_I _Imaginary_I CMPLX CMPLXF CMPLXL
printf fprintf sprintf snprintf vprintf vfprintf vsprintf vsnprintf scanf fscanf sscanf vscanf vfscanf vsscanf
fopen freopen fclose fflush setbuf setvbuf fgetc fgets fputc fputs getc getchar putc putchar puts ungetc fread
fwrite fgetpos fseek fsetpos ftell rewind clearerr feof ferror perror remove rename tmpfile tmpnam gets FILE
fpos_t size_t NULL EOF BUFSIZ FILENAME_MAX FOPEN_MAX L_tmpnam SEEK_CUR SEEK_END SEEK_SET TMP_MAX stdin stdout
stderr atof atoi atol atoll strtod strtof strtold strtol strtoll strtoul strtoull rand srand aligned_alloc calloc
free malloc realloc abort atexit at_quick_exit exit getenv quick_exit system bsearch qsort abs labs llabs div
ldiv lldiv mblen mbtowc wctomb mbstowcs wcstombs div_t ldiv_t lldiv_t EXIT_FAILURE EXIT_SUCCESS MB_CUR_MAX
RAND_MAX memcpy memmove strcpy strncpy strcat strncat memcmp strcmp strcoll strncmp strxfrm memchr strchr
strcspn strpbrk strrchr strspn strstr strtok memset strerror strlen isalnum isalpha isblank iscntrl isdigit
isgraph islower isprint ispunct isspace isupper isxdigit tolower toupper errno EDOM EILSEQ ERANGE assert NDEBUG
CHAR_BIT SCHAR_MIN SCHAR_MAX UCHAR_MAX CHAR_MIN CHAR_MAX MB_LEN_MAX SHRT_MIN SHRT_MAX USHRT_MAX INT_MIN INT_MAX
UINT_MAX LONG_MIN LONG_MAX ULONG_MAX LLONG_MIN LLONG_MAX ULLONG_MAX DECIMAL_DIG intmax_t uintmax_t intptr_t
uintptr_t SIZE_MAX PTRDIFF_MIN PTRDIFF_MAX WCHAR_MIN WCHAR_MAX WINT_MIN WINT_MAX ptrdiff_t max_align_t offsetof
va_list va_start va_arg va_end va_copy jmp_buf setjmp longjmp signal raise sig_atomic_t clock time difftime
mktime asctime ctime gmtime localtime strftime timespec_get clock_t time_t tm timespec CLOCKS_PER_SEC TIME_UTC
setlocale localeconv lconv noreturn fenv_t fexcept_t feclearexcept fegetexceptflag feraiseexcept
fesetexceptflag fetestexcept fegetround fesetround fegetenv feholdexcept fesetenv feupdateenv wint_t mbstate_t
WEOF thrd_t mtx_t cnd_t tss_t once_flag call_once ONCE_FLAG_INIT memory_order kill_dependency imaxabs imaxdiv
strtoimax strtoumax wcstoimax wcstoumax imaxdiv_t""".split())

# Families of declared macros and types, as patterns: <float.h>, <stdint.h>,
# <signal.h>, <locale.h>, <fenv.h>, <inttypes.h>, <stdatomic.h>, <threads.h>.
STANDARD_FAMILIES = re.compile(r"(?:(?:FLT|DBL|LDBL)_[A-Z0-9_]+|U?INT(?:_LEAST|_FAST)?[0-9]+_(?:MAX|MIN|C)"
                               r"|U?INTMAX_(?:MAX|MIN|C)|U?INTPTR_(?:MAX|MIN)|u?int(?:_least|_fast)?[0-9]+_t"
                               r"|SIG_?[A-Z]+|LC_[A-Z]+|FE_[A-Z]+|(?:PRI|SCN)[a-zX][A-Za-z0-9]*|ATOMIC_[A-Z_]+"
                               r"|atomic_[a-z_]+|memory_order_[a-z_]+|(?:thrd|mtx|cnd|tss)_[a-z_]+)\Z")

# What classifier.h declares (a test keeps this list equal to the header's).
CLASSIFIER_H = frozenset("""OMBREL_CLASSIFIER_H INPUT_LENGTH CLASS_COUNT HIDDEN_CAPACITY CONFIGURATION_LENGTH
SOFTMAX_FACTOR LibraryStatus STATUS_OK STATUS_INIT_NOT_CALLED STATUS_KNOWLEDGE_MISMATCH STATUS_SELF_TEST_WARNING
LIBRARY_ID CLASS_NAME_TABLE EXPECTED_CONFIGURATION knowledge_size knowledge_load classifier_init
classifier_run""".split())

MACRO_SUFFIXES = ("_H", "_HIDDEN_UNITS", "_FLOAT_COUNT")


def _taken(name):
    """Why name is taken, or None."""
    if name == "main":
        return "the program's entry point"
    if name in KEYWORDS:
        return "a C or C++ keyword"
    if name in STANDARD or STANDARD_FAMILIES.match(name):
        return "declared by the C standard headers"
    if name in CLASSIFIER_H:
        return "declared by classifier.h"
    return None


def name_problem(name: str):
    """Why name cannot be the array's C name, with the fix; None when it can."""
    fix = "; give another name, such as emg_knowledge"
    if not IDENTIFIER.match(name):
        return "--name %r is not a C identifier (letters, digits and _, not starting with a digit)%s" % (name, fix)
    if name.startswith("_") or "__" in name:
        return "--name %s begins with _ or holds __: such names are reserved to the compiler%s" % (name, fix)
    why = _taken(name)
    if why:
        return "--name %s is %s%s" % (name, why, fix)
    for macro in (name.upper() + suffix for suffix in MACRO_SUFFIXES):
        why = _taken(macro)
        if why:
            return "--name %s gives the macro %s, which is %s%s" % (name, macro, why, fix)
    return None
