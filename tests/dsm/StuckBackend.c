/* A SANE backend of the tests' own: one grey device, "stuck:0", that scans a small picture and can be
 * told, through its option "hang", to stop answering inside sane_start, sane_read or sane_cancel, as a
 * device does whose connection dies or whose driver waits for something that never comes. A call that
 * hangs waits until the test releases it (StuckBackend_Release) or the process ends. The device may be
 * opened any number of times at once. libsane's dll backend loads it by the name "stuck" from a folder
 * on LD_LIBRARY_PATH. */
#include <sane/sane.h>

#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#define WIDTH 40
#define HEIGHT 30

enum { OPTION_COUNT, OPTION_HANG, OPTIONS };

static const SANE_String_Const hang_choices[] = {"none", "start", "read", "cancel", NULL};

static SANE_Option_Descriptor descriptors[OPTIONS] = {
    {SANE_NAME_NUM_OPTIONS, SANE_TITLE_NUM_OPTIONS, SANE_DESC_NUM_OPTIONS, SANE_TYPE_INT, SANE_UNIT_NONE,
     sizeof(SANE_Word), SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_NONE, {NULL}},
    {"hang", "Hang", "Where the device stops answering", SANE_TYPE_STRING, SANE_UNIT_NONE, 16,
     SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_STRING_LIST, {NULL}},
};

struct device {
    char hang[16];
    int scanning;
    int sent;
};

static const SANE_Device stuck_device = {"stuck:0", "Zorkopis tests", "stuck device", "virtual device"};
static const SANE_Device* device_list[] = {&stuck_device, NULL};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t released_cond = PTHREAD_COND_INITIALIZER;
static int released = 0;
static int waiting = 0;

/* Blocks the calling thread until the test releases every hung call. */
static void hang(void) {
    pthread_mutex_lock(&lock);
    ++waiting;
    while (!released)
        pthread_cond_wait(&released_cond, &lock);
    --waiting;
    pthread_mutex_unlock(&lock);
}

__attribute__((visibility("default"))) void StuckBackend_Release(void) {
    pthread_mutex_lock(&lock);
    released = 1;
    pthread_cond_broadcast(&released_cond);
    pthread_mutex_unlock(&lock);
}

/* Calls hung right now. */
__attribute__((visibility("default"))) int StuckBackend_Waiting(void) {
    pthread_mutex_lock(&lock);
    const int count = waiting;
    pthread_mutex_unlock(&lock);
    return count;
}

/* Hung calls wait again from now on. */
__attribute__((visibility("default"))) void StuckBackend_Rearm(void) {
    pthread_mutex_lock(&lock);
    released = 0;
    pthread_mutex_unlock(&lock);
}

SANE_Status sane_stuck_init(SANE_Int* version, SANE_Auth_Callback authorize) {
    (void)authorize;
    descriptors[OPTION_HANG].constraint.string_list = hang_choices;
    if (version)
        *version = SANE_VERSION_CODE(1, 0, 1);
    return SANE_STATUS_GOOD;
}

void sane_stuck_exit(void) {}

SANE_Status sane_stuck_get_devices(const SANE_Device*** list, SANE_Bool local_only) {
    (void)local_only;
    *list = device_list;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stuck_open(SANE_String_Const name, SANE_Handle* handle) {
    if (name[0] != '\0' && strcmp(name, stuck_device.name) != 0)
        return SANE_STATUS_INVAL;
    struct device* device = calloc(1, sizeof *device);
    if (!device)
        return SANE_STATUS_NO_MEM;
    strcpy(device->hang, "none");
    *handle = device;
    return SANE_STATUS_GOOD;
}

void sane_stuck_close(SANE_Handle handle) {
    free(handle);
}

const SANE_Option_Descriptor* sane_stuck_get_option_descriptor(SANE_Handle handle, SANE_Int option) {
    (void)handle;
    return option >= 0 && option < OPTIONS ? &descriptors[option] : NULL;
}

SANE_Status sane_stuck_control_option(SANE_Handle handle, SANE_Int option, SANE_Action action, void* value,
                                      SANE_Int* info) {
    struct device* device = handle;
    if (info)
        *info = 0;
    if (option == OPTION_COUNT && action == SANE_ACTION_GET_VALUE) {
        *(SANE_Word*)value = OPTIONS;
        return SANE_STATUS_GOOD;
    }
    if (option != OPTION_HANG)
        return SANE_STATUS_INVAL;
    if (action == SANE_ACTION_GET_VALUE) {
        strcpy(value, device->hang);
        return SANE_STATUS_GOOD;
    }
    if (action != SANE_ACTION_SET_VALUE)
        return SANE_STATUS_INVAL;
    for (const SANE_String_Const* choice = hang_choices; *choice; ++choice)
        if (strcmp(value, *choice) == 0) {
            strcpy(device->hang, *choice);
            return SANE_STATUS_GOOD;
        }
    return SANE_STATUS_INVAL;
}

SANE_Status sane_stuck_get_parameters(SANE_Handle handle, SANE_Parameters* parameters) {
    (void)handle;
    parameters->format = SANE_FRAME_GRAY;
    parameters->last_frame = SANE_TRUE;
    parameters->bytes_per_line = WIDTH;
    parameters->pixels_per_line = WIDTH;
    parameters->lines = HEIGHT;
    parameters->depth = 8;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stuck_start(SANE_Handle handle) {
    struct device* device = handle;
    if (strcmp(device->hang, "start") == 0)
        hang();
    device->scanning = 1;
    device->sent = 0;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_stuck_read(SANE_Handle handle, SANE_Byte* data, SANE_Int max_length, SANE_Int* length) {
    struct device* device = handle;
    *length = 0;
    if (!device->scanning)
        return SANE_STATUS_CANCELLED;
    /* Half the picture arrives, then the device goes quiet. */
    if (strcmp(device->hang, "read") == 0 && device->sent >= WIDTH * HEIGHT / 2)
        hang();
    if (device->sent >= WIDTH * HEIGHT)
        return SANE_STATUS_EOF;
    int n = WIDTH * HEIGHT - device->sent;
    if (n > max_length)
        n = max_length;
    if (n > WIDTH)
        n = WIDTH;
    for (int i = 0; i < n; ++i)
        data[i] = (SANE_Byte)((device->sent + i) * 7);
    device->sent += n;
    *length = n;
    return SANE_STATUS_GOOD;
}

void sane_stuck_cancel(SANE_Handle handle) {
    struct device* device = handle;
    if (strcmp(device->hang, "cancel") == 0 && device->scanning)
        hang();
    device->scanning = 0;
}

SANE_Status sane_stuck_set_io_mode(SANE_Handle handle, SANE_Bool non_blocking) {
    (void)handle;
    return non_blocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_stuck_get_select_fd(SANE_Handle handle, SANE_Int* fd) {
    (void)handle;
    (void)fd;
    return SANE_STATUS_UNSUPPORTED;
}
