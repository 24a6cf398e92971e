/* The Plax plug-in standard as this suite defines it: the effect record a plug-in hands to its
 * host, the opcodes of the record's dispatcher, the opcodes of the host's callback, and the
 * names of the float-to-text helpers.
 *
 * A Plax library exports one function, `main`, of type PlaxMainProc. The host calls it with its
 * callback; the plug-in asks the host for its version (kPlaxHostVersion) and returns its effect
 * record, or null. From then on the host drives the plug-in through the record only: the
 * dispatcher for everything but audio and parameters, the two processing functions, and the
 * parameter get and set functions (normalised values, 0 … 1).
 *
 * The record is plain C, the same on every build: pointers and pointer-sized integers where a
 * value may carry an address (64-bit clean), 32-bit integers and floats elsewhere. Every text the
 * host asks for is written into a buffer of kPlaxTextBufferSize bytes that the host supplies,
 * always terminated.
 *
 * Threads: the processing functions come from the host's audio thread; the dispatcher and the
 * parameter functions from its user-interface thread (the standard takes no locks).
 */
#ifndef ORQ_PLAX_PLAX_H
#define ORQ_PLAX_PLAX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PlaxEffect PlaxEffect;

/* The host's callback, given to `main` and kept by the effect. `effect` is null while `main`
 * runs (before the record exists). */
typedef intptr_t (*PlaxHostCallback)(PlaxEffect* effect, int32_t opcode, int32_t index,
                                     intptr_t value, void* ptr, float opt);

/* The record's functions. */
typedef intptr_t (*PlaxDispatcherProc)(PlaxEffect* effect, int32_t opcode, int32_t index,
                                       intptr_t value, void* ptr, float opt);
typedef void (*PlaxProcessProc)(PlaxEffect* effect, float** inputs, float** outputs,
                                int32_t frames);
typedef void (*PlaxSetParameterProc)(PlaxEffect* effect, int32_t index, float normalised);
typedef float (*PlaxGetParameterProc)(PlaxEffect* effect, int32_t index);

/* The one export of a Plax library, named "main". */
typedef PlaxEffect* (*PlaxMainProc)(PlaxHostCallback host);

enum {
    /* 'Plax' as four characters, the first in the highest byte. */
    kPlaxMagic = 0x506c6178,
    /* The standard's version, answered to kPlaxGetPlaxVersion. */
    kPlaxStandardVersion = 2200,
    /* Every text buffer the host hands over holds this many bytes (terminator included). */
    kPlaxTextBufferSize = 64,
    /* Longest name of a program (without terminator); longer names are cut. */
    kPlaxProgramNameLength = 32,
    /* Longest parameter name, label and display text the plug-in writes (without terminator). */
    kPlaxParameterNameLength = 31,
    kPlaxParameterLabelLength = 15,
    kPlaxParameterDisplayLength = 15
};

/* PlaxEffect.flags */
enum {
    kPlaxFlagHasEditor = 0x01,
    kPlaxFlagCanMono = 0x08,
    kPlaxFlagCanReplacing = 0x10,
    kPlaxFlagProgramChunks = 0x20
};

/* Plug-in categories (kPlaxGetPlugCategory). */
enum {
    kPlaxCategoryUnknown = 0,
    kPlaxCategoryEffect = 1,
    kPlaxCategoryInstrument = 2,
    kPlaxCategoryAnalyser = 3,
    kPlaxCategoryMastering = 4, /* final-stage processors */
    kPlaxCategorySpatial = 5,
    kPlaxCategoryGenerator = 6
};

struct PlaxEffect {
    int32_t magic;      /* kPlaxMagic */
    int32_t recordSize; /* sizeof(PlaxEffect) */
    PlaxDispatcherProc dispatcher;
    PlaxProcessProc process; /* accumulating: adds its output to what `outputs` hold */
    PlaxSetParameterProc setParameter;
    PlaxGetParameterProc getParameter;
    PlaxProcessProc processReplacing; /* replacing: overwrites `outputs` */
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;
    int32_t numOutputs;
    int32_t flags;        /* kPlaxFlag... */
    int32_t initialDelay; /* latency in frames */
    int32_t uniqueId;     /* four characters, the first in the highest byte */
    int32_t version;      /* the plug-in's own version */
    void* object;         /* the plug-in's effect object; the host leaves it alone */
    void* user;           /* the host's; the plug-in leaves it alone */
    intptr_t reserved[4]; /* zero */
};

/* The editor's rectangle (kPlaxEditorGetRect), in pixels of the parent window. */
typedef struct PlaxRect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
} PlaxRect;

/* Dispatcher opcodes. Arguments not named are 0; "text" is a buffer of kPlaxTextBufferSize
 * bytes in ptr. */
enum {
    /* Plain effect. */
    kPlaxOpen = 0,                 /* after `main`; returns 0 */
    kPlaxClose = 1,                /* the host is done: the effect deletes itself */
    kPlaxSetProgram = 2,           /* value = program number */
    kPlaxGetProgram = 3,           /* returns the current program number */
    kPlaxSetProgramName = 4,       /* ptr = name (cut to kPlaxProgramNameLength) */
    kPlaxGetProgramName = 5,       /* ptr = text */
    kPlaxGetParameterLabel = 6,    /* index, ptr = text (the unit) */
    kPlaxGetParameterDisplay = 7,  /* index, ptr = text (the value as text) */
    kPlaxGetParameterName = 8,     /* index, ptr = text */
    kPlaxGetVu = 9,                /* returns the level × 32767 */
    kPlaxSetSampleRate = 10,       /* opt = rate in Hz */
    kPlaxSetBlockSize = 11,        /* value = largest block in frames */
    kPlaxMainsChanged = 12,        /* value = 0 suspend, 1 resume */
    kPlaxEditorGetRect = 13,       /* ptr = PlaxRect** receiving the editor's rectangle */
    kPlaxEditorOpen = 14,          /* ptr = the parent window (HWND) */
    kPlaxEditorClose = 15,
    kPlaxEditorIdle = 16,          /* the host's periodic call while the editor is open */
    kPlaxEditorKeyDown = 17,       /* index = character, value = virtual key, opt = modifiers */
    kPlaxEditorKeyUp = 18,         /* as kPlaxEditorKeyDown */
    kPlaxGetChunk = 19,            /* ptr = void** receiving the data, index = 1 preset, 0 bank;
                                      returns the size in bytes */
    kPlaxSetChunk = 20,            /* ptr = data, value = size, index = 1 preset, 0 bank;
                                      returns 0, or 1 when the chunk was refused */

    /* Extended effect. */
    kPlaxProcessEvents = 21,             /* ptr = events; returns 0 */
    kPlaxCanBeAutomated = 22,            /* index; returns 1 when it can */
    kPlaxStringToParameter = 23,         /* index, ptr = text; returns 1 when taken */
    kPlaxGetNumProgramCategories = 24,
    kPlaxGetProgramNameIndexed = 25,     /* index = program, ptr = text; returns 1 when written */
    kPlaxCopyProgram = 26,               /* index = destination program */
    kPlaxGetInputProperties = 27,        /* index, ptr = properties; returns 1 when written */
    kPlaxGetOutputProperties = 28,
    kPlaxGetPlugCategory = 29,           /* returns kPlaxCategory... */
    kPlaxOfflineNotify = 30,
    kPlaxOfflinePrepare = 31,
    kPlaxOfflineRun = 32,
    kPlaxProcessVariableIo = 33,
    kPlaxSetSpeakerArrangement = 34,
    kPlaxSetBlockSizeAndSampleRate = 35, /* value = block size, opt = rate in Hz */
    kPlaxSetBypass = 36,                 /* value = 1 bypass; returns 1 when supported */
    kPlaxGetEffectName = 37,             /* ptr = text; returns 1 when written */
    kPlaxGetVendorString = 38,           /* ptr = text; returns 1 when written */
    kPlaxGetProductString = 39,          /* ptr = text; returns 1 when written */
    kPlaxGetVendorVersion = 40,
    kPlaxVendorSpecific = 41,
    kPlaxCanDo = 42,                     /* ptr = capability text; returns 1 yes, 0 unknown, -1 no */
    kPlaxGetTailSize = 43,               /* returns frames of tail, 0 = not known */
    kPlaxGetPlaxVersion = 44,            /* returns the standard's version the plug-in follows */
    kPlaxGetCurrentMidiProgram = 45,     /* returns -1 when none */
    kPlaxGetMidiProgramName = 46,
    kPlaxGetMidiKeyName = 47,
    kPlaxBeginSetProgram = 48,
    kPlaxEndSetProgram = 49,
    kPlaxGetSpeakerArrangement = 50,

    kPlaxOpcodeCount = 51
};

/* Host callback opcodes. */
enum {
    kPlaxHostAutomate = 0,        /* index = parameter, opt = normalised value */
    kPlaxHostVersion = 1,         /* returns the host's version of the standard; 0 = no host */
    kPlaxHostCurrentId = 2,       /* returns the unique id of the effect being loaded */
    kPlaxHostIdle = 3,            /* the plug-in asks the host to run its idle work */
    kPlaxHostPinConnected = 4,    /* index = pin, value = 1 input, 0 output;
                                     returns 1 when connected */
    kPlaxHostGetSampleRate = 5,   /* returns the rate in Hz */
    kPlaxHostGetBlockSize = 6,    /* returns the largest block in frames */
    kPlaxHostSizeWindow = 7,      /* index = width, value = height; returns 1 when done */
    kPlaxHostBeginEdit = 8,       /* index = parameter: a gesture begins */
    kPlaxHostEndEdit = 9,         /* index = parameter: the gesture ends */
    kPlaxHostUpdateDisplay = 10,  /* programs or parameters changed; returns 1 when taken */
    kPlaxHostGetVendorString = 11,/* ptr = text; returns 1 when written */
    kPlaxHostGetProductString = 12,
    kPlaxHostCanDo = 13,          /* ptr = capability text; returns 1 yes, 0 unknown, -1 no */

    kPlaxHostOpcodeCount = 14
};

/* The standard's float-to-text helpers. Each writes at most kPlaxParameterDisplayLength
 * characters and a terminator into `text` (a buffer of kPlaxTextBufferSize bytes).
 *
 * plaxFloatToText: the value with two decimals ("%.2f"); " Huge!" when its magnitude is
 *   kPlaxHugeValue or more, or when it is not a number.
 * plaxDecibelsToText: an amplitude (1.0 = 0 dB) as dB with two decimals; "-oo" for 0.
 * plaxHertzToText: samples at a rate as Hz (rate / samples), whole numbers.
 * plaxMillisecondsToText: samples at a rate as milliseconds, three decimals.
 * plaxIntegerToText: the value as a whole number.
 * Each is [any-thread], allocates nothing. */
static const float kPlaxHugeValue = 1.0e7f;
void plaxFloatToText(float value, char* text);
void plaxDecibelsToText(float amplitude, char* text);
void plaxHertzToText(float samples, float sampleRateHz, char* text);
void plaxMillisecondsToText(float samples, float sampleRateHz, char* text);
void plaxIntegerToText(int32_t value, char* text);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ORQ_PLAX_PLAX_H */
