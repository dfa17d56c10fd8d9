"""The stubs against the module's own signatures. stubtest (run by ctest) checks names, types of
attributes and the error classes, but cannot read the parameters of compiled functions; pybind11
writes them into each docstring's first line, which this compares with the stubs: names, order,
keyword-only marks and defaults."""

import ast
import pathlib

import tesselraw


def split_top_level(text: str) -> list[str]:
    parts, depth, current, quote = [], 0, "", None
    for char in text:
        if quote:
            quote = None if char == quote else quote
        elif char in "'\"":
            quote = char
        elif char in "([{":
            depth += 1
        elif char in ")]}":
            depth -= 1
        elif char == "," and depth == 0:
            parts.append(current.strip())
            current = ""
            continue
        current += char
    return parts + [current.strip()] if current.strip() else parts


def runtime_parameters(function) -> list[tuple[str, str | None]]:
    first = function.__doc__.splitlines()[0]
    parameters = []
    for part in split_top_level(first[first.index("(") + 1: first.rindex(") ->")]):
        name, _, rest = part.partition(":")
        if name != "self":
            parameters.append((name.strip(), rest.split(" = ", 1)[1] if " = " in rest else None))
    return parameters


def stub_parameters(node: ast.FunctionDef) -> list[tuple[str, str | None]]:
    args = node.args
    positional = [a.arg for a in args.args if a.arg != "self"]
    defaults = [None] * (len(positional) - len(args.defaults)) + [ast.unparse(d) for d in args.defaults]
    parameters = list(zip(positional, defaults))
    if args.vararg:
        parameters.append(("*" + args.vararg.arg, None))
    elif args.kwonlyargs:
        parameters.append(("*", None))
    parameters += [(a.arg, ast.unparse(d) if d else None) for a, d in zip(args.kwonlyargs, args.kw_defaults)]
    return parameters


def compiled_functions():
    tree = ast.parse(pathlib.Path(tesselraw.__file__).with_name("__init__.pyi").read_text())
    for node in tree.body:
        owner, members = (getattr(tesselraw, node.name), node.body) if isinstance(node, ast.ClassDef) else (tesselraw, [node])
        for member in members:
            if isinstance(member, ast.FunctionDef) and not member.decorator_list:
                runtime = getattr(owner, member.name)
                if (runtime.__doc__ or "").startswith(member.name + "("):
                    yield f"{getattr(owner, '__name__', 'tesselraw')}.{member.name}", member, runtime


def test_stub_parameters_are_the_modules() -> None:
    checked = []
    for name, stub, runtime in compiled_functions():
        assert stub_parameters(stub) == runtime_parameters(runtime), name
        checked.append(name)
    assert {"Frame.bayer", "Frame.process", "encode", "write_clip", "decode", "open", "engines"} <= {
        name.removeprefix("tesselraw.") for name in checked}
