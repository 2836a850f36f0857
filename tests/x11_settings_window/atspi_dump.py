# Prints the accessible tree of the running hushglass as AT-SPI shows it:
# one line per object, role and name, with the value and checked state.
import pyatspi, sys
desktop = pyatspi.Registry.getDesktop(0)
def walk(node, depth, out):
    try:
        role = node.getRoleName(); name = node.name
    except Exception:
        return
    states = node.getState()
    extra = ''
    try:
        v = node.queryValue(); extra = ' value=%g' % v.currentValue
    except Exception:
        pass
    if states.contains(pyatspi.STATE_CHECKED): extra += ' checked'
    out.append('  ' * depth + '%s "%s"%s' % (role, name, extra))
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), depth + 1, out)
for app in desktop:
    if app is None: continue
    if 'hushglass' in (app.name or '').lower():
        out = []
        walk(app, 0, out)
        print('\n'.join(out))
