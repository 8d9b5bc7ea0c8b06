"""Screenshots read straight from the X server (XCB's GetImage) in the test's
own process. ImageMagick's import took about 100 ms of processor time a
picture, and the scenarios take pictures back to back while they wait for the
game: on two busy cores that starved the very game they watched (an emulated
one drew no frame in its five seconds of splash). This takes about 30 ms.

XCB, not Xlib: Xlib ends the process when the server goes away, XCB only
reports it, and the scenarios kill X servers on purpose."""
import ctypes
import os

_xcb = ctypes.CDLL("libxcb.so.1")


class _Cookie(ctypes.Structure):
    _fields_ = [("sequence", ctypes.c_uint)]


class _ScreenIterator(ctypes.Structure):
    _fields_ = [("data", ctypes.POINTER(ctypes.c_uint32)), ("rem", ctypes.c_int), ("index", ctypes.c_int)]


class _Setup(ctypes.Structure):
    _fields_ = [("status", ctypes.c_uint8), ("pad0", ctypes.c_uint8), ("major", ctypes.c_uint16),
                ("minor", ctypes.c_uint16), ("length", ctypes.c_uint16), ("release", ctypes.c_uint32),
                ("id_base", ctypes.c_uint32), ("id_mask", ctypes.c_uint32), ("motion_buffer", ctypes.c_uint32),
                ("vendor_len", ctypes.c_uint16), ("max_request", ctypes.c_uint16), ("roots_len", ctypes.c_uint8),
                ("formats_len", ctypes.c_uint8), ("image_byte_order", ctypes.c_uint8)]


class _GeometryReply(ctypes.Structure):
    _fields_ = [("response_type", ctypes.c_uint8), ("depth", ctypes.c_uint8), ("sequence", ctypes.c_uint16),
                ("length", ctypes.c_uint32), ("root", ctypes.c_uint32), ("x", ctypes.c_int16), ("y", ctypes.c_int16),
                ("width", ctypes.c_uint16), ("height", ctypes.c_uint16)]


_xcb.xcb_connect.restype = ctypes.c_void_p
_xcb.xcb_connect.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_int)]
_xcb.xcb_connection_has_error.argtypes = [ctypes.c_void_p]
_xcb.xcb_disconnect.argtypes = [ctypes.c_void_p]
_xcb.xcb_get_setup.restype = ctypes.POINTER(_Setup)
_xcb.xcb_get_setup.argtypes = [ctypes.c_void_p]
_xcb.xcb_setup_roots_iterator.restype = _ScreenIterator
_xcb.xcb_setup_roots_iterator.argtypes = [ctypes.POINTER(_Setup)]
_xcb.xcb_get_geometry.restype = _Cookie
_xcb.xcb_get_geometry.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
_xcb.xcb_get_geometry_reply.restype = ctypes.POINTER(_GeometryReply)
_xcb.xcb_get_geometry_reply.argtypes = [ctypes.c_void_p, _Cookie, ctypes.c_void_p]
_xcb.xcb_get_image.restype = _Cookie
_xcb.xcb_get_image.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint32, ctypes.c_int16, ctypes.c_int16,
                               ctypes.c_uint16, ctypes.c_uint16, ctypes.c_uint32]
_xcb.xcb_get_image_reply.restype = ctypes.c_void_p
_xcb.xcb_get_image_reply.argtypes = [ctypes.c_void_p, _Cookie, ctypes.c_void_p]
_xcb.xcb_get_image_data.restype = ctypes.POINTER(ctypes.c_uint8)
_xcb.xcb_get_image_data.argtypes = [ctypes.c_void_p]
_xcb.xcb_get_image_data_length.argtypes = [ctypes.c_void_p]
_libc = ctypes.CDLL(None)
_libc.free.argtypes = [ctypes.c_void_p]

_Z_PIXMAP = 2
_LSB_FIRST = 0


def _root(setup):
    # The displays here have one screen; a screen's first field is its root.
    return _xcb.xcb_setup_roots_iterator(setup).data[0]


def _connect(display, xauthority):
    """XCB reads the server's cookie file from the environment."""
    saved = os.environ.get("XAUTHORITY")
    if xauthority:
        os.environ["XAUTHORITY"] = xauthority
    try:
        return _xcb.xcb_connect(display.encode(), None)
    finally:
        if saved is None:
            os.environ.pop("XAUTHORITY", None)
        else:
            os.environ["XAUTHORITY"] = saved


def _reply(read, connection, cookie):
    """The request's reply, or None where the server answered with an error
    (freed here: left unasked for, it would wait in the event queue)."""
    error = ctypes.c_void_p()
    reply = read(connection, cookie, ctypes.byref(error))
    if error:
        _libc.free(error)
    return reply or None


# One connection a display, kept: a new one took 70 ms to be let in, each
# time, once the server had sent a whole screen to the last.
_connections = {}


def _connection(display, xauthority):
    """The kept connection to the display, or None. One the server broke
    (it ended, and another may now have its number) is made anew."""
    connection = _connections.get(display)
    if connection is not None and _xcb.xcb_connection_has_error(connection):
        _xcb.xcb_disconnect(_connections.pop(display))
        connection = None
    if connection is None:
        connection = _connect(display, xauthority)
        if _xcb.xcb_connection_has_error(connection):
            _xcb.xcb_disconnect(connection)
            return None
        _connections[display] = connection
    return connection


def grab(display, window="root", xauthority=None):
    """(width, height, RGB bytes) of the window ("root" or an id) on the
    display; None where this cannot read it (the server gone, the window
    not viewable, a screen that is not 24-bit colour in 32-bit pixels)."""
    connection = _connection(display, xauthority)
    if connection is None:
        return None
    setup = _xcb.xcb_get_setup(connection)
    drawable = _root(setup) if window == "root" else int(window, 0)
    geometry = _reply(_xcb.xcb_get_geometry_reply, connection, _xcb.xcb_get_geometry(connection, drawable))
    if not geometry:
        return None
    depth, width, height = geometry.contents.depth, geometry.contents.width, geometry.contents.height
    _libc.free(geometry)
    if depth != 24:
        return None
    reply = _reply(_xcb.xcb_get_image_reply, connection,
                   _xcb.xcb_get_image(connection, _Z_PIXMAP, drawable, 0, 0, width, height, 0xFFFFFFFF))
    if not reply:
        return None
    try:
        pixels = ctypes.string_at(_xcb.xcb_get_image_data(reply), _xcb.xcb_get_image_data_length(reply))
    finally:
        _libc.free(reply)
    if len(pixels) != width * height * 4:
        return None  # not 32 bits a pixel
    # 32-bit pixels, 0xXXRRGGBB, in the server's byte order.
    red, green, blue = (2, 1, 0) if setup.contents.image_byte_order == _LSB_FIRST else (1, 2, 3)
    rgb = bytearray(width * height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = pixels[red::4], pixels[green::4], pixels[blue::4]
    return width, height, bytes(rgb)
